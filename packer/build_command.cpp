// morlu-pack build: makes a finished installer from the stub and the files it
// is to carry.
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <new>
#include <string>
#include <vector>

#include "packer/archive_writer.h"
#include "packer/cli_support.h"
#include "packer/command.h"
#include "packer/container_writer.h"
#include "packer/cp932_text.h"
#include "packer/exit_codes.h"
#include "packer/installer_verifier.h"
#include "packer/member_list.h"
#include "packer/output_file.h"
#include "packer/parallel_pack.h"
#include "packer/pack_error.h"
#include "packer/progress_bar.h"

static const char kArguments[] =
    "--stub STUB.exe --version TEXT [--message FILE] [--method lh5|lh0] [--best] [--quiet] -o SETUP.exe PATH...";

struct BuildOptions {
    std::string stub;
    std::string version;
    bool hasVersion = false;
    std::string message;
    PackMethod method = PackMethod::Lh5;
    bool best = false;
    bool quiet = false;
    std::string output;
    std::vector<std::string> paths;
};

static void PrintBuildHelp()
{
    printf("Usage: morlu-pack build %s\n"
           "Makes a finished installer: STUB.exe with the payload container appended.\n\n"
           "  --stub STUB.exe   the installer program without a payload\n"
           "  --version TEXT    version shown in the installer's captions (UTF-8, at most\n"
           "                    15 bytes in CP932; may be empty)\n"
           "  --message FILE    UTF-8 text the user must confirm before installing\n"
           "  --method lh5|lh0  compress members (default; a member that does not shrink\n"
           "                    is stored) or store them all\n"
           "  --best            compress harder: weigh every match by its bits, a few\n"
           "                    passes over; some 2-3%% smaller, several times slower\n"
           "  --quiet           no progress bar and no summary\n"
           "  -o SETUP.exe      the installer to write; it appears only when complete\n"
           "  PATH...           files, or folders whose files (not subfolders) are packed\n\n"
           "Limits: a file of at most 4,294,967,294 bytes a member, a whole installer\n"
           "of at most 2,147,483,647 bytes (it reads itself with signed 32-bit sizes),\n"
           "a message file of at most 1 MiB. Inputs must be regular files that do not\n"
           "change while they are read; no file named here is ever written.\n\n"
           "Every compressed member is decoded as the installer will decode it, and the\n"
           "finished file is read back, before it is put in place.\n"
           "Exit status: 0 success, 1 usage error, 2 input the installer cannot carry,\n"
           "3 a file that cannot be read or written.\n",
           kArguments);
}

static int ParseOptions(int argc, char** argv, BuildOptions* options, bool* helpShown)
{
    bool optionsEnded = false;
    std::string method = "lh5";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options->paths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            PrintBuildHelp();
            *helpShown = true;
            return EXIT_OK;
        }
        if (arg == "--best") {
            options->best = true;
            continue;
        }
        if (arg == "--quiet" || arg == "-q") {
            options->quiet = true;
            continue;
        }
        // The rest take a value: "--name VALUE" or "--name=VALUE".
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        std::string* value = name == "--stub"                   ? &options->stub
                             : name == "-o" || name == "--output" ? &options->output
                             : name == "--message"                ? &options->message
                             : name == "--version"                ? &options->version
                             : name == "--method"                 ? &method
                                                                  : nullptr;
        if (value == nullptr)
            return UsageError("build", kArguments, "build: unknown option '%s'", arg.c_str());
        if (equals != std::string::npos)
            *value = arg.substr(equals + 1);
        else if (i + 1 < argc)
            *value = argv[++i];
        else
            return UsageError("build", kArguments, "build: %s needs a value", name.c_str());
        // Only the version may be empty.
        if (name == "--version")
            options->hasVersion = true;
        else if (value->empty())
            return UsageError("build", kArguments, "build: %s needs a value", name.c_str());
    }
    if (method == "lh5")
        options->method = options->best ? PackMethod::Lh5Best : PackMethod::Lh5;
    else if (method == "lh0" && options->best)
        return UsageError("build", kArguments, "build: --best compresses; --method lh0 stores");
    else if (method == "lh0")
        options->method = PackMethod::Lh0;
    else
        return UsageError("build", kArguments, "build: --method takes lh5 or lh0, not '%s'", method.c_str());
    if (options->stub.empty())
        return UsageError("build", kArguments, "build: no --stub given");
    if (!options->hasVersion)
        return UsageError("build", kArguments, "build: no --version given");
    if (options->output.empty())
        return UsageError("build", kArguments, "build: no output given (-o SETUP.exe)");
    if (options->paths.empty())
        return UsageError("build", kArguments, "build: no files given to pack");
    return EXIT_OK;
}

static std::string VersionField(const std::string& utf8)
{
    try {
        std::string text = Cp932FromUtf8(utf8, "version text");
        CheckTexts(text, "");
        return text;
    } catch (const PackError& e) {
        throw PackError(e.what(), EXIT_USAGE);
    }
}

// A confirmation text longer than this is surely the wrong file.
const uint64_t kMaxMessageFile = 1 << 20;
// The installer reads its whole file with signed 32-bit sizes.
const uint64_t kMaxStubFile = 0x7FFFFFFF;

static std::string MessageText(const std::string& path)
{
    std::vector<uint8_t> bytes = ReadInputFile(path, kMaxMessageFile).bytes;
    std::string text(bytes.begin(), bytes.end());
    // Editors on Windows put a byte order mark in front; it has no CP932 form.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    if (text.empty())
        throw PackError(path + ": message text is empty");
    std::string converted = Cp932FromUtf8(text, path + ": message text");
    try {
        CheckTexts("", converted);
    } catch (const PackError& e) {
        throw PackError(path + ": " + e.what());
    }
    return converted;
}

static std::vector<uint8_t> StubImage(const std::string& path)
{
    std::vector<uint8_t> stub = ReadInputFile(path, kMaxStubFile).bytes;
    try {
        CheckStub(stub);
    } catch (const PackError& e) {
        throw PackError(path + ": " + e.what());
    }
    return stub;
}

// Refuses an output that cannot be made, before the work of packing: its folder
// must exist, and it must not replace any file the command line names.
static void CheckOutput(const BuildOptions& options, const std::vector<MemberSource>& members)
{
    const std::string& output = options.output;
    size_t slash = output.rfind('/');
    std::string folder = slash == std::string::npos ? "." : output.substr(0, slash == 0 ? 1 : slash);
    struct stat status;
    if (stat(folder.c_str(), &status) != 0)
        throw PackError(output + ": folder " + folder + ": " + strerror(errno), EXIT_FILE_ERROR);
    if (!S_ISDIR(status.st_mode))
        throw PackError(output + ": " + folder + " is not a folder", EXIT_FILE_ERROR);
    if (stat(output.c_str(), &status) != 0)
        return;
    if (S_ISDIR(status.st_mode))
        throw PackError(output + ": is a folder", EXIT_FILE_ERROR);
    auto refuseIfSame = [&](const std::string& path, const char* what) {
        struct stat other;
        if (stat(path.c_str(), &other) == 0 && other.st_dev == status.st_dev && other.st_ino == status.st_ino)
            throw PackError(output + ": is " + what + path + "; the installer would replace it", EXIT_USAGE);
    };
    refuseIfSame(options.stub, "the stub ");
    if (!options.message.empty())
        refuseIfSame(options.message, "the message file ");
    for (const MemberSource& member : members)
        refuseIfSame(member.path, "the input ");
}

static int Build(const BuildOptions& options)
{
    std::string versionText = VersionField(options.version);
    std::string message = options.message.empty() ? "" : MessageText(options.message);
    InstallerImage image = StartInstallerImage(StubImage(options.stub));
    std::vector<MemberSource> members = CollectMembers(options.paths);
    CheckOutput(options, members);
    uint64_t total = 0;
    for (const MemberSource& member : members)
        total += member.size;

    OutputFile out(options.output);
    out.Write(image.bytes.data(), image.bytes.size());
    ArchiveWriter writer([&out](const uint8_t* bytes, size_t size) { out.Write(bytes, size); });
    std::vector<std::vector<uint8_t>> headers;
    ProgressBar bar(total, !options.quiet);
    PackInOrder(
        members, options.method,
        [&](size_t i, const PackedFile& file) {
            const MemberSource& member = members[i];
            writer.Add(member.name, file.stored.data(), member.size, member.modified, file.packed);
            headers.push_back(file.header);
        },
        [&bar](uint64_t done) { bar.Update(done); });
    writer.Finish();
    std::vector<uint8_t> header =
        PayloadHeaderBytes(image.headerOffset, writer.Size(), versionText, message, (int32_t)writer.MemberCount());
    std::vector<uint8_t> trailer = MessageTrailer(message);
    out.Write(trailer.data(), trailer.size());
    out.WriteAt(image.headerOffset, header.data(), header.size());
    out.ReadBack([&headers](const uint8_t* bytes, size_t size) { VerifyInstallerLayout(bytes, size, headers); });
    bar.Clear();
    out.Commit();

    if (!options.quiet)
        printf("%s: %zu member%s, %llu bytes in an archive of %zu (%.1f%%)\n", options.output.c_str(),
               members.size(), members.size() == 1 ? "" : "s", (unsigned long long)total, writer.Size(),
               total == 0 ? 100.0 : writer.Size() * 100.0 / total);
    return EXIT_OK;
}

static int RunBuild(int argc, char** argv)
{
    BuildOptions options;
    bool helpShown = false;
    int code = ParseOptions(argc, argv, &options, &helpShown);
    if (code != EXIT_OK || helpShown)
        return code;
    try {
        return Build(options);
    } catch (const PackError& e) {
        return Complain(e.Code(), "%s", e.what());
    } catch (const std::bad_alloc&) {
        return Complain(EXIT_FILE_ERROR, "out of memory");
    }
}

const Command buildCommand = {"build", kArguments,
                              "Make an installer: the stub with the files (or a folder's files) in an lh5 archive.",
                              RunBuild};
