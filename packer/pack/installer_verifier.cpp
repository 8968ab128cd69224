#include "packer/pack/installer_verifier.h"

#include <cstring>
#include <mutex>

#include "bytes/little_endian.h"
#include "container/payload_container.h"
#include "extract/extract.h"
#include "extract/member_header.h"
#include "extract/member_sink.h"
#include "packer/system/pack_error.h"

namespace {

void Fail(const std::string& what)
{
    throw PackError("self-check of the built installer failed: " + what + "; nothing was written");
}

// What the engine wrote of the member, compared with the original as it
// came, so that no decoded copy is ever made.
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
std::mutex engineTurn;
CheckedFile checked;
const ExpectedMember* expected;

MemberFile CheckCreate(const char* path, uint32_t nameOffset)
{
    checked.name = path + nameOffset;
    return 0;
}

uint32_t CheckWrite(MemberFile, const unsigned char* bytes, uint32_t count)
{
    if (checked.size + count > expected->size || memcmp(expected->bytes + checked.size, bytes, count) != 0)
        checked.same = false;
    checked.size += count;
    return count;
}

void CheckSetTime(MemberFile, uint16_t dosDate, uint16_t dosTime)
{
    checked.timeSet = true;
    checked.dosDate = dosDate;
    checked.dosTime = dosTime;
}

bool CheckClose(MemberFile, bool)
{
    return true;
}

const MemberSink checkingSink = {CheckCreate, CheckWrite, CheckSetTime, CheckClose, nullptr};

} // namespace

void VerifyPackedMember(size_t number, const ExpectedMember& member, const std::vector<uint8_t>& header,
                        const std::vector<uint8_t>& stream)
{
    std::vector<uint8_t> archive;
    archive.reserve(header.size() + stream.size() + 1);
    archive.insert(archive.end(), header.begin(), header.end());
    archive.insert(archive.end(), stream.begin(), stream.end());
    archive.push_back(0);

    std::lock_guard<std::mutex> turn(engineTurn);
    checked = CheckedFile();
    expected = &member;
    int result = ExtractArchive("v", archive.data(), (uint32_t)archive.size(), &checkingSink);

    std::string which = "member " + std::to_string(number);
    if (result != 1)
        Fail(which + ": the extraction engine returns " + std::to_string(result));
    if (checked.name != member.name)
        Fail(which + " comes back under another name");
    if (!checked.same || checked.size != member.size)
        Fail(which + " decodes to other bytes");
    if (!checked.timeSet || checked.dosDate != member.dosDateTime >> 16 ||
        checked.dosTime != (member.dosDateTime & 0xFFFF))
        Fail(which + " comes back with another time stamp");
}

void VerifyInstallerLayout(const uint8_t* image, size_t size, const std::vector<std::vector<uint8_t>>& headers)
{
    uint32_t headerOffset;
    int scan = ScanContainer(image, (uint32_t)size, &headerOffset);
    if (scan != PAYLOAD_OK)
        Fail("the container scan gives code " + std::to_string(scan));
    const unsigned char* payload = image + headerOffset;
    int32_t memberCount = (int32_t)LoadLe32(payload + offsetof(PayloadHeader, memberCount));
    if (memberCount < 0 || (size_t)memberCount != headers.size())
        Fail("the header counts " + std::to_string(memberCount) + " members");

    const unsigned char* at = payload + (int32_t)LoadLe32(payload + offsetof(PayloadHeader, archiveOffset));
    const unsigned char* const end = at + (int32_t)LoadLe32(payload + offsetof(PayloadHeader, archiveSize));
    for (size_t i = 0; i < headers.size(); ++i) {
        const std::vector<uint8_t>& header = headers[i];
        if ((size_t)(end - at) < header.size() || memcmp(at, header.data(), header.size()) != 0)
            Fail("member " + std::to_string(i + 1) + " has another header");
        bool stored = ClassifyMethod(header.data()) == METHOD_STORED;
        uint32_t dataLength = LoadLe32(header.data() + (stored ? kHeaderOriginalSize : kHeaderPackedSize));
        at += header.size();
        if ((size_t)(end - at) < dataLength)
            Fail("member " + std::to_string(i + 1) + " runs past the archive's end");
        at += dataLength;
    }
    if (end - at != 1 || *at != 0)
        Fail("the archive does not end right after its last member");
}
