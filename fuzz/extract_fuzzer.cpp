// Any bytes as an archive: the engine must neither crash nor read or write out
// of bounds (ASan, UBSan), and must give the result and the files of the plain
// model in tests/extract/reference_model.cpp.
#include <stdio.h>
#include <stdlib.h>

#include "extract/extract.h"
#include "extract/memory_sink.h"
#include "reference_model.h"

// A small "disk" ends damaged sizes of gigabytes after the first window.
static const uint64_t kCapacity = 200000;

static void Differs(const char* what, size_t file)
{
    fprintf(stderr, "engine and model differ: %s (file %zu)\n", what, file);
    abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ResetMemorySink(true, kCapacity);
    int result = ExtractArchive("fuzz", data, (uint32_t)size, &memoryMemberSink);
    reference::Outcome expected = reference::Extract(data, (uint32_t)size, kCapacity);

    if (result != expected.result)
        Differs("result", 0);
    const std::vector<MemoryFile>& files = MemorySinkFiles();
    if (files.size() != expected.files.size())
        Differs("number of files", files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        const MemoryFile& a = files[i];
        const reference::File& e = expected.files[i];
        if (a.name != e.name)
            Differs("name", i);
        if (a.bytes != e.bytes || a.writes != e.writes)
            Differs("bytes", i);
        if (a.timeSet != e.timeSet || a.dosDate != e.dosDate || a.dosTime != e.dosTime || a.closed != e.closed ||
            a.kept != e.kept)
            Differs("time or closing", i);
    }
    return 0;
}
