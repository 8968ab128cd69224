// morlu-pack extract FILE -C DIR: writes the members into DIR with the engine.
#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include "extract/parallel_extract.h"
#include "packer/cli_support.h"
#include "packer/command.h"
#include "packer/exit_codes.h"
#include "packer/extract_report.h"

static const char kArguments[] = "FILE [-C DIR]";

static int RunExtract(int argc, char** argv)
{
    const char* file = nullptr;
    std::string folder = ".";
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "-C") == 0) {
            if (i + 1 == argc)
                return UsageError("extract", kArguments, "extract: -C needs a folder");
            folder = argv[++i];
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
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
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    struct stat status;
    if (stat(folder.c_str(), &status) != 0)
        return Complain(EXIT_FILE_ERROR, "%s: %s", folder.c_str(), strerror(errno));
    if (!S_ISDIR(status.st_mode))
        return Complain(EXIT_FILE_ERROR, "%s: not a folder", folder.c_str());

    LoadedArchive loaded;
    int code = LoadArchive(file, &loaded);
    if (code != EXIT_OK)
        return code;
    SetMemberSink(nullptr);
    PosixSinkUseDestination(folder.c_str());
    int result = ExtractArchiveInParallel(folder.c_str(), loaded.archive, loaded.size, AvailableCores());
    PosixSinkUseDestination(nullptr);
    if (result < 0)
        return ReportExtractFailure(file, result);
    if (loaded.installer && loaded.memberCount != result)
        return Complain(EXIT_DATA_ERROR,
                        "%s: the payload header counts %d members but the archive holds %d, which were extracted; "
                        "the installer refuses it",
                        file, loaded.memberCount, result);
    return EXIT_OK;
}

const Command extractCommand = {"extract", kArguments,
                                "Extract every member into DIR (default: the current folder), which must exist.",
                                RunExtract};
