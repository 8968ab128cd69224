#include "demo_installers.h"

#include <gtest/gtest.h>

#include "archive_builder.h"
#include "bytes/little_endian.h"
#include "container/payload_container.h"

static std::string NameOf(const Bytes& member)
{
    return std::string((const char*)&member[22], member[21]);
}

DemoInstaller LoadDemoInstaller()
{
    DemoInstaller demo;
    Bytes image;
    EXPECT_TRUE(ReadFileBytes(MORLU_BUILD_DIR "\\demo-setup.exe", &image));
    uint32_t header = kNoHeader;
    EXPECT_EQ(ScanContainer(image.data(), (uint32_t)image.size(), &header), PAYLOAD_OK);
    if (header == kNoHeader)
        return demo;
    demo.stub.assign(image.begin(), image.begin() + (header - kMagicRunLength));
    demo.memberCount = (int32_t)LoadLe32(&image[header + 20]);
    const unsigned char* archive = &image[header] + (int32_t)LoadLe32(&image[header + 24]);
    const unsigned char* end = archive + (int32_t)LoadLe32(&image[header + 28]);
    // The packer writes level-1 headers without extended headers: the data
    // follows the header and its length is the packed size.
    while (archive < end && archive[0] != 0) {
        size_t length = archive[0] + 2 + LoadLe32(archive + 7);
        demo.members.emplace_back(archive, archive + length);
        archive += length;
    }
    EXPECT_EQ((int32_t)demo.members.size(), demo.memberCount);
    return demo;
}

void AddStoredMember(DemoInstaller* installer, const std::string& name, const Bytes& data)
{
    installer->members.push_back(MemberBytes(StoredMember(name, data)));
    installer->memberCount += 1;
}

void AddControlFile(DemoInstaller* installer, const std::string& lines)
{
    AddStoredMember(installer, "DEZAZAZE.CFG", BytesOf(lines));
}

void DropMember(DemoInstaller* installer, const std::string& name)
{
    for (size_t i = 0; i < installer->members.size(); ++i) {
        if (NameOf(installer->members[i]) == name) {
            installer->members.erase(installer->members.begin() + i);
            installer->memberCount -= 1;
            return;
        }
    }
    ADD_FAILURE() << "no member " << name;
}

static Payload PayloadOf(const DemoInstaller& installer)
{
    Payload payload;
    payload.versionText = installer.versionText;
    payload.message = installer.message;
    payload.memberCount = installer.memberCount;
    payload.archive.clear();
    for (const Bytes& member : installer.members)
        payload.archive.insert(payload.archive.end(), member.begin(), member.end());
    payload.archive.push_back(0);
    return payload;
}

Bytes ImageOf(const DemoInstaller& installer)
{
    return AppendContainer(installer.stub, PayloadOf(installer));
}

size_t MemberDataOffset(const DemoInstaller& installer, const std::string& name)
{
    size_t image = ImageOf(installer).size();
    Payload payload = PayloadOf(installer);
    size_t offset = image - payload.archive.size();
    for (const Bytes& member : installer.members) {
        if (NameOf(member) == name)
            return offset + member[0] + 2;
        offset += member.size();
    }
    ADD_FAILURE() << "no member " << name;
    return 0;
}
