// morlu-pack test FILE: decodes every member in memory and checks its CRC-16.
#include <stdio.h>

#include "extract/memory_sink.h"
#include "packer/cli_support.h"
#include "packer/command.h"
#include "packer/exit_codes.h"
#include "packer/extract_report.h"

static const char kArguments[] = "FILE";

static int RunTest(int argc, char** argv)
{
    if (argc != 2)
        return UsageError("test", kArguments, argc < 2 ? "test: no FILE given" : "test: too many arguments");
    LoadedArchive loaded;
    int code = LoadArchive(argv[1], &loaded);
    if (code != EXIT_OK)
        return code;

    ResetMemorySink(false);
    SetMemberSink(&memoryMemberSink);
    int result = ExtractArchive("", loaded.archive, loaded.size);
    SetMemberSink(nullptr);

    // Every member before the one that failed has been checked in full.
    const std::vector<MemoryFile>& files = MemorySinkFiles();
    size_t good = result >= 0 ? files.size() : GetExtractFailure().memberNumber - 1;
    for (size_t i = 0; i < good; ++i)
        printf("OK  %s\n", DisplayName(files[i].name.c_str()).c_str());
    if (result < 0)
        return ReportExtractFailure(argv[1], result);
    printf("%d members OK\n", result);
    return EXIT_OK;
}

const Command testCommand = {"test", kArguments,
                             "Decode every member in memory and check its CRC-16; exit 0 when all are good.",
                             RunTest};
