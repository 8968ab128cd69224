#include "packer/pack/output_file.h"

#include "packer/system/pack_error.h"

static PackError WriteError(const std::string& path, int error)
{
    return PackError(path + ": cannot write: " + ErrorText(error), EXIT_FILE_ERROR);
}

OutputFile::OutputFile(const std::string& path) : path_(path)
{
    if (int error = file_.Create(path)) {
        std::string folder = path.substr(0, NameStart(path));
        throw PackError(path + ": cannot create a file in " + (folder.empty() ? "." : folder) + ": " +
                            ErrorText(error),
                        EXIT_FILE_ERROR);
    }
}

void OutputFile::WriteAt(uint64_t offset, const uint8_t* bytes, size_t size)
{
    if (int error = file_.WriteAt(offset, bytes, size))
        throw WriteError(path_, error);
}

void OutputFile::Write(const uint8_t* bytes, size_t size)
{
    WriteAt(size_, bytes, size);
    size_ += size;
}

void OutputFile::ReadBack(const std::function<void(const uint8_t* bytes, size_t size)>& look) const
{
    if (int error = file_.Look(size_, look))
        throw PackError(path_ + ": cannot read back what was written: " + ErrorText(error), EXIT_FILE_ERROR);
}

void OutputFile::Commit()
{
    if (int error = file_.Commit())
        throw WriteError(path_, error);
}
