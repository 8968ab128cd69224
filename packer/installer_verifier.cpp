#include "packer/installer_verifier.h"

#include <cstddef>
#include <cstring>

#include "driver/container.h"
#include "extract/extract.h"
#include "extract/memory_sink.h"
#include "packer/pack_error.h"

namespace {

void Fail(const std::string& what)
{
    throw PackError("self-check of the built installer failed: " + what + "; nothing was written");
}

// Leaves the engine writing real files again and frees the decoded copies,
// however the check ends.
struct MemorySinkSession {
    MemorySinkSession()
    {
        ResetMemorySink(true);
        SetMemberSink(&memoryMemberSink);
    }
    ~MemorySinkSession()
    {
        SetMemberSink(nullptr);
        ResetMemorySink(false);
    }
};

} // namespace

void VerifyInstaller(const std::vector<uint8_t>& image, const std::vector<ExpectedMember>& members)
{
    uint32_t headerOffset;
    int scan = ScanContainer(image.data(), (uint32_t)image.size(), &headerOffset);
    if (scan != PAYLOAD_OK)
        Fail("the container scan gives code " + std::to_string(scan));
    const unsigned char* header = image.data() + headerOffset;
    int32_t memberCount = ReadLe32(header + offsetof(PayloadHeader, memberCount));
    int32_t archiveOffset = ReadLe32(header + offsetof(PayloadHeader, archiveOffset));
    int32_t archiveSize = ReadLe32(header + offsetof(PayloadHeader, archiveSize));
    if (memberCount < 0 || (size_t)memberCount != members.size())
        Fail("the header counts " + std::to_string(memberCount) + " members");

    MemorySinkSession session;
    int result = ExtractArchive("v", header + archiveOffset, (uint32_t)archiveSize);
    if (result != memberCount)
        Fail("the extraction engine returns " + std::to_string(result));
    const std::vector<MemoryFile>& files = MemorySinkFiles();
    if (files.size() != members.size())
        Fail("the engine wrote " + std::to_string(files.size()) + " files");
    for (size_t i = 0; i < members.size(); ++i) {
        const MemoryFile& file = files[i];
        const ExpectedMember& expected = members[i];
        std::string which = "member " + std::to_string(i + 1);
        if (file.name != expected.name)
            Fail(which + " comes back under another name");
        if (file.bytes.size() != expected.bytes->size() ||
            (!file.bytes.empty() && memcmp(file.bytes.data(), expected.bytes->data(), file.bytes.size()) != 0))
            Fail(which + " decodes to other bytes");
        if (!file.timeSet || file.dosDate != expected.dosDateTime >> 16 || file.dosTime != (expected.dosDateTime & 0xFFFF))
            Fail(which + " comes back with another time stamp");
    }
}
