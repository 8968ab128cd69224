// morlu-pack extract FILE -C DIR: writes the members into DIR with the engine.
#include <string.h>

#include <string>

#include "extract/parallel_extract.h"
#include "packer/cli/cli_support.h"
#include "packer/cli/command.h"
#include "packer/cli/extract_report.h"
#include "packer/system/exit_codes.h"
#include "packer/system/file_sink.h"
#include "packer/system/platform.h"

static const char kArguments[] = "FILE [-C DIR]";

static int RunExtract(int argc, char** argv)
{
    const char* file = nullptr;
    std::string folder = ".";
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        bool option = !optionsEnded && argv[i][0] == '-' && argv[i][1] != '\0';
        if (option && strcmp(argv[i], "--") == 0) {
            optionsEnded = true;
        } else if (option && (strcmp(argv[i], "-h") == 0 || strcmp(argv[i], "--help") == 0)) {
            return ShowCommandHelp(extractCommand);
        } else if (option && strcmp(argv[i], "-C") == 0) {
            if (i + 1 == argc)
                return UsageError("extract", kArguments, "extract: -C needs a folder");
            folder = argv[++i];
        } else if (option) {
            return UsageError("extract", kArguments, "extract: unknown option '%s'", argv[i]);
        } else if (file == nullptr) {
            file = argv[i];
        } else {
            return UsageError("extract", kArguments, "extract: too many arguments");
        }
    }
    if (file == nullptr)
        return UsageError("extract", kArguments, "extract: no FILE given");
    // The engine adds its own separator.
    folder = TrimSeparators(folder);
    FileStatus status;
    if (int error = StatusOf(folder, &status))
        return Complain(EXIT_FILE_ERROR, "%s: %s", folder.c_str(), ErrorText(error).c_str());
    if (status.kind != FileKind::Folder)
        return Complain(EXIT_FILE_ERROR, "%s: not a folder", folder.c_str());

    LoadedArchive loaded;
    int code = LoadArchive(file, &loaded);
    if (code != EXIT_OK)
        return code;
    FileSinkUseDestination(folder.c_str());
    int result = ExtractArchiveInParallel(folder.c_str(), loaded.archive, loaded.size, &fileMemberSink,
                                          UsableProcessors());
    FileSinkUseDestination(nullptr);
    if (result < 0)
        return ReportExtractFailure(file, result);
    return CheckMemberCount(file, loaded, result, ", which were extracted");
}

const Command extractCommand = {
    "extract", kArguments, "Extract every member into DIR (default: the current folder), which must exist.",
    RunExtract,
    "FILE is a bare LHA archive or an installer. extract writes what the installer\n"
    "writes: a name with a backslash goes into that subfolder, which must exist and\n"
    "is entered only if it is no link; a name that would leave DIR (absolute, a\n"
    "drive or stream colon, \"..\") is refused as damage. A member whose name is\n"
    "taken is written under a temporary name and put in place only once its CRC-16\n"
    "matched: it replaces whatever stood under its name (a file, even read-only, a\n"
    "link or a FIFO) without writing through it, and a damaged member leaves that\n"
    "as it was. A damaged member whose name was free leaves no file.\n"
    "Every file gets its member's time. Names are written in UTF-8 with slashes on\n"
    "Linux and macOS, in Unicode on Windows.\n\n"
    "  -C DIR      the folder to extract into\n"
    "  -h, --help  show this help\n"
    "  --          ends the options: a FILE may then start with a dash\n\n"
    "Exit status: 0 success, 1 usage error, 2 damaged archive or container, or a\n"
    "file that is neither an installer nor an archive, 3 a file that cannot be\n"
    "read or written.\n"};
