// Writes the installer so that its name never shows a partial file: the bytes
// go to a temporary file in the same folder, which is renamed over the name
// only when complete. Failures and the usual ways a program is ended remove it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "packer/system/platform.h"

class OutputFile {
public:
    // Creates the temporary file. Throws PackError (file error) when it cannot.
    explicit OutputFile(const std::string& path);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Appends; throws PackError (file error) when the write fails.
    void Write(const uint8_t* bytes, size_t size);
    // Writes over bytes already written.
    void WriteAt(uint64_t offset, const uint8_t* bytes, size_t size);
    uint64_t Size() const { return size_; }
    // Shows look everything written so far, mapped read-only: only the pages
    // it reads are brought in.
    void ReadBack(const std::function<void(const uint8_t* bytes, size_t size)>& look) const;

    // Gives the file the usual permissions, flushes it to the disk and renames
    // it over the path. An existing file of that name stays as it was until then.
    void Commit();

private:
    std::string path_;
    TemporaryFile file_; // removed unless put in place
    uint64_t size_ = 0;
};
