// The files build reads whole: the stub, texts, icons and the product's files.
#pragma once
#include <stdint.h>

#include <ctime>
#include <string>
#include <vector>

struct FileContents {
    std::vector<uint8_t> bytes;
    time_t modified = 0;
};

const int64_t kAnySize = -1;

// Reads a whole regular file, never waiting on a FIFO or device and never
// more than its size when opened. Throws PackError: a file error when it is
// no regular file, when it no longer has expectedSize (unless kAnySize), or
// when it changes while it is read; a data error when it is larger than
// maxSize.
FileContents ReadInputFile(const std::string& path, uint64_t maxSize, int64_t expectedSize = kAnySize);
