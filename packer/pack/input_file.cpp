#include "packer/pack/input_file.h"

#include "packer/system/large_buffer.h"
#include "packer/system/pack_error.h"
#include "packer/system/platform.h"

static PackError SystemError(const std::string& path, int error)
{
    return PackError(path + ": " + ErrorText(error), EXIT_FILE_ERROR);
}

FileContents ReadInputFile(const std::string& path, uint64_t maxSize, int64_t expectedSize)
{
    InputFile file;
    if (int error = file.Open(path))
        throw SystemError(path, error);
    FileStatus status;
    if (int error = file.Status(&status))
        throw SystemError(path, error);
    if (status.kind != FileKind::Regular)
        throw PackError(path + ": not a regular file", EXIT_FILE_ERROR);
    uint64_t size = status.size;
    // Readable, but more than the installer can carry.
    if (size > maxSize)
        throw PackError(path + ": " + SizeText(size) + " bytes; at most " + SizeText(maxSize) + " can be taken");
    if (expectedSize != kAnySize && size != (uint64_t)expectedSize)
        throw PackError(path + ": changed since it was listed (" + SizeText((uint64_t)expectedSize) + " bytes, now " +
                            SizeText(size) + ")",
                        EXIT_FILE_ERROR);

    FileContents contents;
    contents.modified = status.modified;
    ReserveLarge(&contents.bytes, (size_t)size);
    contents.bytes.resize((size_t)size);
    size_t filled = 0;
    for (;;) {
        // One byte more than the size asks whether the file grew.
        unsigned char extra;
        bool full = filled == contents.bytes.size();
        size_t got = 0;
        int error = full ? file.Read(&extra, 1, &got)
                         : file.Read(contents.bytes.data() + filled, contents.bytes.size() - filled, &got);
        if (error != 0)
            throw SystemError(path, error);
        if (got > 0 && full)
            throw PackError(path + ": grew while it was read; pack it once it is complete", EXIT_FILE_ERROR);
        if (got == 0 && !full)
            throw PackError(path + ": became shorter while it was read", EXIT_FILE_ERROR);
        if (got == 0)
            break;
        filled += got;
    }
    return contents;
}
