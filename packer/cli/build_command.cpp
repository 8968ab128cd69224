// morlu-pack build: makes a finished installer from the stub and the files it
// is to carry.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "packer/cli/cli_support.h"
#include "packer/cli/command.h"
#include "packer/cli/progress_bar.h"
#include "packer/pack/installer_assembly.h"
#include "packer/stub/execution_level.h"
#include "packer/system/cp932_text.h"
#include "packer/system/exit_codes.h"
#include "packer/system/pack_error.h"
#include "packer/system/platform.h"

static const char kArguments[] = "[OPTION]... -o SETUP.exe PATH...";

// The options as the command line writes them, before they are checked;
// the paths and the texts that need no checking here are in inputs already.
struct WrittenOptions {
    InstallerInputs inputs;
    bool help = false;
    bool hasVersion = false;
    bool best = false;
    bool quiet = false;
    std::string method = "lh5";
    std::string messageEncoding = "auto";
    std::string notesEncoding = "auto";
    std::string jobs;
    std::string executionLevel;
};

struct BuildOptions {
    InstallerInputs inputs;
    bool quiet = false;
};

// Where `cmake --install` puts the stub, found from where it put this program.
static std::string InstalledStub()
{
    std::string folder = ProgramPath();
    if (folder.empty())
        return "";
    folder = TrimSeparators(folder.substr(0, NameStart(folder)));
    std::string relative = MORLU_STUB_FROM_BIN;
    while (relative.compare(0, 3, "../") == 0 && NameStart(folder) > 0) {
        folder = TrimSeparators(folder.substr(0, NameStart(folder)));
        relative.erase(0, 3);
    }
    std::replace(relative.begin(), relative.end(), '/', kPathSeparator);
    return folder + kPathSeparator + relative;
}

static void PrintBuildHelp()
{
    Print(stdout, "Usage: morlu-pack build %s\n"
                  "Makes a finished installer: the stub with the product's files appended in a\n"
                  "payload container. Nothing is written unless every check passes.\n\n"
                  "  --stub STUB.exe      the installer stub, unsigned, with its MORLU2STUB\n"
                  "                       resource; default, where cmake --install puts it:\n"
                  "                       %s\n"
                  "  --version TEXT       version shown in the installer's captions (UTF-8, at most\n"
                  "                       15 bytes in CP932; may be empty); required\n"
                  "  --message FILE       text the user must confirm before installing, in UTF-8\n"
                  "                       (with or without byte order mark) or CP932; one that a\n"
                  "                       message box on a 1024x768 screen cannot show whole, some\n"
                  "                       36 lines of 72 columns, draws a warning\n"
                  "  --message-encoding auto|utf-8|cp932\n"
                  "                       how the message file is written (default auto: UTF-8\n"
                  "                       when its bytes are valid UTF-8, else CP932)\n"
                  "  --notes-encoding auto|utf-8|cp932\n"
                  "                       Morlu.txt must be CP932, which Notepad on a Japanese\n"
                  "                       Windows shows; auto (default) refuses UTF-8, utf-8\n"
                  "                       converts it to CP932 with CR LF line ends, cp932 takes it\n"
                  "                       as CP932 without guessing\n"
                  "  --icon FILE.ico      the installer's icon, in place of the stub's first icon\n"
                  "                       group (the one Explorer shows); an icon file, not a PNG\n"
                  "                       (icotool -c or ImageMagick's convert make one of PNGs)\n"
                  "  --version-info KEY=VALUE\n"
                  "                       a string of the installer's version information\n"
                  "                       (Explorer: Properties, Details); repeatable, each KEY once;\n"
                  "                       KEY is any name, the standard ones (ProductName,\n"
                  "                       CompanyName, FileVersion, ProductVersion, FileDescription,\n"
                  "                       LegalCopyright, LegalTrademarks, Comments, InternalName,\n"
                  "                       OriginalFilename, PrivateBuild, SpecialBuild) in any case;\n"
                  "                       FileVersion and ProductVersion start with numbers such as\n"
                  "                       1.10.0.3, which also fill the numeric versions. It\n"
                  "                       replaces any version information the stub has\n"
                  "  --execution-level asInvoker|highestAvailable|requireAdministrator\n"
                  "                       the rights Windows (Vista on) starts the installer with,\n"
                  "                       as its manifest asks. Default highestAvailable: most home\n"
                  "                       users are administrators with a split token, who confirm\n"
                  "                       and get the elevation an inner installer writing to\n"
                  "                       Program Files needs, still as themselves; a standard user\n"
                  "                       is asked for no one's password and installs as\n"
                  "                       themselves, so %%TEMP%% and the shortcuts are their own.\n"
                  "                       requireAdministrator has a standard user type an\n"
                  "                       administrator's password and puts the shortcuts into that\n"
                  "                       administrator's profile; asInvoker never elevates (the\n"
                  "                       inner installer must then ask for it itself)\n"
                  "  --exclude GLOB       leave out the files and subfolders whose name (not path)\n"
                  "                       matches the shell pattern, such as '.DS_Store' or '*~';\n"
                  "                       repeatable; case matters\n"
                  "  --method lh5|lh0     compress members (default; a member that does not shrink\n"
                  "                       is stored) or store them all\n"
                  "  --best               compress harder: weigh every match by its bits, a few\n"
                  "                       passes over; some 2-3%% smaller, several times slower\n"
                  "  --jobs N             pack on N threads (default: one per processor this\n"
                  "                       process may use); the output is the same for any N\n"
                  "  -q, --quiet          no progress bar, no summary (warnings still show)\n"
                  "  -o, --output SETUP.exe\n"
                  "                       the installer to write; it appears only when complete\n"
                  "  -h, --help           show this help\n"
                  "  --                   ends the options: every later argument is a PATH\n"
                  "  PATH...              files, and folders whose files are packed; a subfolder\n"
                  "                       stops the build (the installer creates no folders):\n"
                  "                       --exclude it. So does a link in a folder that leads out\n"
                  "                       of it: name it as a PATH to pack what it leads to on\n"
                  "                       purpose. A file an editor or a system leaves behind\n"
                  "                       (backups, .DS_Store, Thumbs.db, dot-files) draws a\n"
                  "                       warning with the --exclude that leaves it out; an\n"
                  "                       earlier build's installer at -o inside a folder is left\n"
                  "                       out. Options may also be written --name=VALUE.\n\n"
                  "The product (README, \"Making your product\"): DEZAZAZE.exe must be among the\n"
                  "files (the installer starts it; an error without it), a Windows program the\n"
                  "stub's systems run: i386 for the i686 stub, which runs on 32-bit Windows too;\n"
                  "i386 or x86-64 for an x86-64 stub. Without Morlu.exe or Morlu.txt, or with a\n"
                  "Morlu.exe that is no such program, the installer's shortcuts or release notes\n"
                  "have nothing to show unless DEZAZAZE.exe installs them (a warning each).\n\n"
                  "The same inputs give the same bytes on any machine: members in the order of\n"
                  "the PATHs, a folder's files in byte order of their names, and member times\n"
                  "written as Japan Standard Time (UTC+9) whatever the build machine's time zone,\n"
                  "since the installer stamps them as the user's local time and its users are in\n"
                  "Japan. With SOURCE_DATE_EPOCH (seconds since 1970, a whole number) set, no\n"
                  "member is dated later than it; set but empty, it counts as not set.\n\n"
                  "Limits: a file of at most 4,294,967,294 bytes a member, a whole installer\n"
                  "of at most 1,073,741,824 bytes (1 GiB: the installer maps the whole of itself\n"
                  "into memory, and 32-bit Windows seldom has a larger block of addresses free),\n"
                  "a message file of at most 1 MiB. Inputs must be regular files that do not\n"
                  "change while they are read; no file named here is ever written.\n\n"
                  "Every compressed member is decoded as the installer will decode it, and the\n"
                  "finished file is read back, before it is put in place. Sign the finished\n"
                  "installer (for example with osslsigncode), never the stub.\n\n"
                  "Exit status: 0 success, 1 usage error, 2 input the installer cannot carry,\n"
                  "3 a file that cannot be read or written.\n",
                  kArguments, InstalledStub().c_str());
}

// Reads the command line in its order, stopping at the first option it
// cannot read or at --help.
static int ReadOptions(int argc, char** argv, WrittenOptions* options)
{
    InstallerInputs& inputs = options->inputs;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            inputs.paths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            options->help = true;
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
        std::string repeated;
        std::string* value = name == "--stub"                     ? &inputs.stub
                             : name == "-o" || name == "--output" ? &inputs.output
                             : name == "--message"                ? &inputs.message
                             : name == "--message-encoding"       ? &options->messageEncoding
                             : name == "--notes-encoding"         ? &options->notesEncoding
                             : name == "--version"                ? &inputs.version
                             : name == "--method"                 ? &options->method
                             : name == "--jobs"                   ? &options->jobs
                             : name == "--icon"                   ? &inputs.icon
                             : name == "--execution-level"        ? &options->executionLevel
                             : name == "--exclude" || name == "--version-info" ? &repeated
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
        if (name == "--exclude") {
            inputs.excludes.push_back(repeated);
        } else if (name == "--version-info") {
            try {
                AddVersionString(&inputs.versionStrings, repeated);
            } catch (const PackError& e) {
                return UsageError("build", kArguments, "build: %s", e.what());
            }
        }
    }
    return EXIT_OK;
}

// The values read, checked and turned into what build takes, with
// SOURCE_DATE_EPOCH and the installed stub; the first fault is told.
static int CheckOptions(const WrittenOptions& written, BuildOptions* options)
{
    InstallerInputs& inputs = options->inputs;
    inputs = written.inputs;
    options->quiet = written.quiet;
    if (written.method == "lh5")
        inputs.method = written.best ? PackMethod::Lh5Best : PackMethod::Lh5;
    else if (written.method == "lh0" && written.best)
        return UsageError("build", kArguments, "build: --best compresses; --method lh0 stores");
    else if (written.method == "lh0")
        inputs.method = PackMethod::Lh0;
    else
        return UsageError("build", kArguments, "build: --method takes lh5 or lh0, not '%s'", written.method.c_str());
    if (!ParseTextEncoding(written.messageEncoding, &inputs.messageEncoding))
        return UsageError("build", kArguments, "build: --message-encoding takes auto, utf-8 or cp932, not '%s'",
                          written.messageEncoding.c_str());
    if (!ParseTextEncoding(written.notesEncoding, &inputs.notesEncoding))
        return UsageError("build", kArguments, "build: --notes-encoding takes auto, utf-8 or cp932, not '%s'",
                          written.notesEncoding.c_str());
    if (!written.executionLevel.empty()) {
        inputs.executionLevel = ExecutionLevelNamed(written.executionLevel);
        if (inputs.executionLevel.empty())
            return UsageError("build", kArguments,
                              "build: --execution-level takes asInvoker, highestAvailable or requireAdministrator, "
                              "not '%s'",
                              written.executionLevel.c_str());
    }
    if (!written.jobs.empty()) {
        const std::string& jobs = written.jobs;
        char* end = nullptr;
        unsigned long count = strtoul(jobs.c_str(), &end, 10);
        if (*end != '\0' || jobs[0] < '1' || jobs[0] > '9' || count > 1024)
            return UsageError("build", kArguments, "build: --jobs takes a number from 1 to 1024, not '%s'",
                              jobs.c_str());
        inputs.jobs = (unsigned)count;
    }
    if (const char* epoch = getenv("SOURCE_DATE_EPOCH")) {
        char* end = nullptr;
        errno = 0;
        long long seconds = strtoll(epoch, &end, 10);
        if (*epoch != '\0' && (*end != '\0' || epoch[0] < '0' || epoch[0] > '9' || errno != 0))
            return UsageError("build", kArguments,
                              "build: SOURCE_DATE_EPOCH must be a whole number of seconds since 1970, not '%s'", epoch);
        inputs.clampTimes = *epoch != '\0';
        inputs.sourceDateEpoch = (time_t)seconds;
    }
    if (inputs.stub.empty()) {
        inputs.stub = InstalledStub();
        FileStatus status;
        if (StatusOf(inputs.stub, &status) != 0)
            return UsageError("build", kArguments, "build: no --stub given, and none is installed at %s",
                              inputs.stub.c_str());
    }
    if (!written.hasVersion)
        return UsageError("build", kArguments, "build: no --version given");
    if (inputs.output.empty())
        return UsageError("build", kArguments, "build: no output given (-o SETUP.exe)");
    if (inputs.paths.empty())
        return UsageError("build", kArguments, "build: no files given to pack");
    return EXIT_OK;
}

static void Warn(const std::string& text)
{
    fflush(stdout);
    WriteText(stderr, "morlu-pack: warning: " + text + "\n");
}

// The bar lives only while the installer is made, so that it is gone before
// any error is told.
static int Build(const BuildOptions& options)
{
    std::unique_ptr<ProgressBar> bar;
    AssemblyReport report;
    report.warn = Warn;
    report.packingStarts = [&](uint64_t total) { bar.reset(new ProgressBar(total, !options.quiet)); };
    report.packed = [&bar](uint64_t done) { bar->Update(done); };
    report.packingEnds = [&bar]() { bar->Clear(); };
    AssembledInstaller made = AssembleInstaller(options.inputs, report);
    if (!options.quiet)
        Print(stdout, "%s: %zu member%s, %llu bytes in an archive of %llu (%.1f%%)\n", options.inputs.output.c_str(),
              made.members, made.members == 1 ? "" : "s", (unsigned long long)made.inputBytes,
              (unsigned long long)made.archiveBytes,
              made.inputBytes == 0 ? 100.0 : made.archiveBytes * 100.0 / made.inputBytes);
    return EXIT_OK;
}

static int RunBuild(int argc, char** argv)
{
    WrittenOptions written;
    if (int code = ReadOptions(argc, argv, &written))
        return code;
    if (written.help) {
        PrintBuildHelp();
        return EXIT_OK;
    }
    BuildOptions options;
    if (int code = CheckOptions(written, &options))
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
                              RunBuild, ""};
