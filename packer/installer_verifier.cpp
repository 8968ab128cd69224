#include "packer/installer_verifier.h"

#include <cstddef>
#include <cstring>

#include "container/payload_container.h"
#include "extract/extract.h"
#include "extract/member_sink.h"
#include "packer/pack_error.h"

namespace {

void Fail(const std::string& what)
{
    throw PackError("self-check of the built installer failed: " + what + "; nothing was written");
}

// What the engine wrote of one member, compared with the original as it came,
// so that no decoded copy is ever made.
struct CheckedFile {
    std::string name;
    uint64_t size = 0;
    bool same = true;
    bool timeSet = false;
    uint16_t dosDate = 0;
    uint16_t dosTime = 0;
};

// The engine's sink has no context of its own, and the engine itself runs one
// extraction at a time.
std::vector<CheckedFile> checked;
const std::vector<ExpectedMember>* expected;

MemberFile CheckCreate(const char* path, uint32_t nameOffset)
{
    checked.emplace_back();
    checked.back().name = path + nameOffset;
    return (MemberFile)(checked.size() - 1);
}

uint32_t CheckWrite(MemberFile handle, const unsigned char* bytes, uint32_t count)
{
    CheckedFile& file = checked[(size_t)handle];
    const std::vector<uint8_t>* original = (size_t)handle < expected->size() ? (*expected)[handle].bytes : nullptr;
    if (original == nullptr || file.size + count > original->size() ||
        memcmp(original->data() + file.size, bytes, count) != 0)
        file.same = false;
    file.size += count;
    return count;
}

void CheckSetTime(MemberFile handle, uint16_t dosDate, uint16_t dosTime)
{
    CheckedFile& file = checked[(size_t)handle];
    file.timeSet = true;
    file.dosDate = dosDate;
    file.dosTime = dosTime;
}

bool CheckClose(MemberFile, bool)
{
    return true;
}

const MemberSink checkingSink = {CheckCreate, CheckWrite, CheckSetTime, CheckClose};

// Leaves the engine writing real files again, however the check ends.
struct CheckingSession {
    explicit CheckingSession(const std::vector<ExpectedMember>& members)
    {
        checked.clear();
        expected = &members;
        SetMemberSink(&checkingSink);
    }
    ~CheckingSession()
    {
        SetMemberSink(nullptr);
        checked.clear();
        expected = nullptr;
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

    CheckingSession session(members);
    int result = ExtractArchive("v", header + archiveOffset, (uint32_t)archiveSize);
    if (result != memberCount)
        Fail("the extraction engine returns " + std::to_string(result));
    if (checked.size() != members.size())
        Fail("the engine wrote " + std::to_string(checked.size()) + " files");
    for (size_t i = 0; i < members.size(); ++i) {
        const CheckedFile& file = checked[i];
        const ExpectedMember& want = members[i];
        std::string which = "member " + std::to_string(i + 1);
        if (file.name != want.name)
            Fail(which + " comes back under another name");
        if (!file.same || file.size != want.bytes->size())
            Fail(which + " decodes to other bytes");
        if (!file.timeSet || file.dosDate != want.dosDateTime >> 16 || file.dosTime != (want.dosDateTime & 0xFFFF))
            Fail(which + " comes back with another time stamp");
    }
}
