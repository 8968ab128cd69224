// morlu-pack test FILE: decodes every member in memory and checks its CRC-16,
// and holds an installer to every rule the installer itself applies.
#include <stdio.h>

#include <string>
#include <vector>

#include "bytes/cp932_chars.h"
#include "extract/parallel_extract.h"
#include "packer/cli/cli_support.h"
#include "packer/cli/command.h"
#include "packer/cli/extract_report.h"
#include "packer/system/exit_codes.h"
#include "packer/system/platform.h"

static const char kArguments[] = "FILE";

static bool NamesASubfolder(const char* name)
{
    for (const char* p = name; *p != '\0'; p += Cp932CharLength(p)) {
        if (*p == '\\' || *p == '/')
            return true;
    }
    return false;
}

// The installer extracts into a fresh work folder: a member in a subfolder
// cannot be created there. Nothing is kept but the names of the members that
// came out whole, which close gets in archive order, one at a time.
static std::vector<std::string> keptNames;

static MemberFile CreateAsTheInstallerWould(const char* path, uint32_t nameOffset)
{
    if (NamesASubfolder(path + nameOffset))
        return kNoMemberFile;
    return (MemberFile) new std::string(path + nameOffset);
}

static uint32_t CountWrite(MemberFile, const unsigned char*, uint32_t count)
{
    return count;
}

static void IgnoreTime(MemberFile, uint16_t, uint16_t)
{
}

static bool NoteKept(MemberFile file, bool keep)
{
    std::string* name = (std::string*)file;
    if (keep)
        keptNames.push_back(*name);
    delete name;
    return true;
}

static const MemberSink installerLikeSink = {CreateAsTheInstallerWould, CountWrite, IgnoreTime, NoteKept, nullptr};

static int RunTest(int argc, char** argv)
{
    std::vector<const char*> operands;
    int code = ParseOperands(testCommand, argc, argv, &operands);
    if (code != kKeepGoing)
        return code;
    if (operands.size() != 1)
        return UsageError("test", kArguments, operands.empty() ? "test: no FILE given" : "test: too many arguments");
    const char* path = operands[0];
    LoadedArchive loaded;
    code = LoadArchive(path, &loaded);
    if (code != EXIT_OK)
        return code;

    keptNames.clear();
    int result = ExtractArchiveInParallel("", loaded.archive, loaded.size, &installerLikeSink, UsableProcessors());

    // Every member before the one that failed has been checked in full.
    for (const std::string& name : keptNames)
        Print(stdout, "OK  %s\n", DisplayName(name.c_str()).c_str());
    ExtractFailureInfo failure = GetExtractFailure();
    if (result < 0 && failure.reason == FAILURE_CREATE && NamesASubfolder(failure.memberName))
        return Complain(EXIT_DATA_ERROR,
                        "%s: member %u (%s): names a subfolder; the installer extracts into a fresh folder "
                        "without subfolders and cannot create it",
                        path, failure.memberNumber, DisplayName(failure.memberName).c_str());
    if (result < 0)
        return ReportExtractFailure(path, result);
    code = CheckMemberCount(path, loaded, result, "");
    if (code != EXIT_OK)
        return code;
    Print(stdout, "%d members OK\n", result);
    return EXIT_OK;
}

const Command testCommand = {
    "test", kArguments,
    "Decode every member in memory and check it as the installer would; exit 0 only when it would extract cleanly.",
    RunTest,
    "FILE is a bare LHA archive or an installer, signed or not. test holds an\n"
    "installer to the installer's own rules: the payload header's member count,\n"
    "names it can create in its fresh work folder (no subfolders, devices such as\n"
    "CON or NUL, or <>\"|?*), and every member's CRC-16. It prints \"OK  NAME\" for\n"
    "each good member, then the count.\n\n"
    "  -h, --help  show this help\n"
    "  --          ends the options: a FILE may then start with a dash\n\n"
    "Exit status: 0 the installer would extract it cleanly, 1 usage error,\n"
    "2 damaged archive or container, or a file that is neither an installer nor an\n"
    "archive (an empty file, a program without a payload container), 3 a file that\n"
    "cannot be read.\n"};
