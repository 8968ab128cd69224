#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "bytes/little_endian.h"
#include "container/payload_container.h"
#include "pack_test_support.h"
#include "packer/pack/container_writer.h"
#include "packer/stub/stub_image.h"
#include "packer/system/pack_error.h"

namespace {

struct Parts {
    Bytes stub;
    std::string versionText = "1.10";
    std::string message;
    int32_t memberCount = 3;
    Bytes archive;
};

Parts PartsWithStub(size_t stubSize)
{
    Parts parts;
    parts.stub = FakeStub(stubSize);
    parts.archive = RandomBytes(777, 1);
    parts.archive.push_back(0);
    return parts;
}

Bytes BuildInstallerImage(const Parts& parts)
{
    InstallerImage image = StartInstallerImage(parts.stub);
    image.bytes.insert(image.bytes.end(), parts.archive.begin(), parts.archive.end());
    FinishImage(image, parts.versionText, parts.message, parts.memberCount);
    return image.bytes;
}

int32_t Field(const Bytes& image, uint32_t header, size_t offset)
{
    return (int32_t)LoadLe32(image.data() + header + offset);
}

TEST(ContainerWriter, AppendsTheContainerAtTheNext256ByteBoundary)
{
    for (size_t stubSize : {2u, 255u, 256u, 257u, 20000u}) {
        Parts parts = PartsWithStub(stubSize);
        Bytes image = BuildInstallerImage(parts);
        size_t start = (stubSize + 255) / 256 * 256;
        ASSERT_EQ(image.size(), start + 24 + 32 + parts.archive.size()) << stubSize;
        EXPECT_TRUE(std::equal(parts.stub.begin(), parts.stub.end(), image.begin())) << stubSize;
        for (size_t i = stubSize; i < start; ++i)
            ASSERT_EQ(image[i], 0) << "padding at " << i;
        for (int group = 0; group < 4; ++group)
            EXPECT_EQ(memcmp(&image[start + 6 * group], "#ZQJ# ", 6), 0);

        uint32_t header;
        ASSERT_EQ(ScanContainer(image.data(), (uint32_t)image.size(), &header), PAYLOAD_OK) << stubSize;
        EXPECT_EQ(header, start + 24);
        EXPECT_EQ(std::string((const char*)&image[header]), "1.10");
        for (size_t i = 4; i < 16; ++i)
            EXPECT_EQ(image[header + i], 0) << "version padding";
        EXPECT_EQ(Field(image, header, offsetof(PayloadHeader, messageOffset)), 0);
        EXPECT_EQ(Field(image, header, offsetof(PayloadHeader, memberCount)), 3);
        EXPECT_EQ(Field(image, header, offsetof(PayloadHeader, archiveOffset)), 32);
        EXPECT_EQ(Field(image, header, offsetof(PayloadHeader, archiveSize)), (int32_t)parts.archive.size());
        EXPECT_TRUE(std::equal(parts.archive.begin(), parts.archive.end(), image.begin() + header + 32));
    }
}

TEST(ContainerWriter, PutsTheMessageNulTerminatedAfterTheArchive)
{
    Parts parts = PartsWithStub(1000);
    parts.message = "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd"; // こんにちは
    Bytes image = BuildInstallerImage(parts);
    uint32_t header;
    ASSERT_EQ(ScanContainer(image.data(), (uint32_t)image.size(), &header), PAYLOAD_OK);
    int32_t message = Field(image, header, offsetof(PayloadHeader, messageOffset));
    EXPECT_EQ(message, 32 + (int32_t)parts.archive.size());
    EXPECT_EQ(std::string((const char*)&image[header + message]), parts.message);
    EXPECT_EQ(image.back(), 0);
}

TEST(ContainerWriter, VersionTextUpToFifteenBytes)
{
    Parts parts = PartsWithStub(300);
    parts.versionText = std::string(15, '9');
    Bytes image = BuildInstallerImage(parts);
    EXPECT_EQ(image[512 + 24 + 15], 0) << "the 16th byte stays NUL";
    parts.versionText = "";
    EXPECT_NO_THROW(BuildInstallerImage(parts));
    parts.versionText = std::string(16, '9');
    EXPECT_THROW(BuildInstallerImage(parts), PackError);
}

TEST(ContainerWriter, RefusesAStubThatAlreadyCarriesAContainer)
{
    Bytes installer = BuildInstallerImage(PartsWithStub(4000));
    EXPECT_THROW(CheckCanCarryContainer(installer), PackError);
    Parts again = PartsWithStub(10);
    again.stub = installer;
    EXPECT_THROW(BuildInstallerImage(again), PackError);

    // A damaged container counts as well: the installer would find it first.
    installer.resize(installer.size() - 10);
    EXPECT_THROW(CheckCanCarryContainer(installer), PackError);
}

TEST(ContainerWriter, RefusesAStubThatIsNoWindowsProgram)
{
    EXPECT_THROW(CheckCanCarryContainer(Bytes{}), PackError);
    EXPECT_THROW(CheckCanCarryContainer(Bytes{'M'}), PackError);
    EXPECT_THROW(CheckCanCarryContainer(Bytes{'P', 'K', 3, 4}), PackError);
    EXPECT_NO_THROW(CheckCanCarryContainer(Bytes{'M', 'Z'}));
}

TEST(ContainerWriter, RefusesTextsWithNulBytes)
{
    EXPECT_THROW(CheckVersionText(std::string("1\0", 2)), PackError);
    EXPECT_THROW(CheckMessageText(std::string("a\0b", 3)), PackError);
    EXPECT_NO_THROW(CheckVersionText("1"));
    EXPECT_NO_THROW(CheckMessageText("a"));
}

// The installer maps the whole of itself: 1 GiB and not a byte more, the
// message naming the size and the limit.
TEST(ContainerWriter, AWholeInstallerOfAtMostOneGiB)
{
    EXPECT_NO_THROW(CheckInstallerSize(1u << 30));
    EXPECT_NO_THROW(PayloadHeaderBytes(0x1000, (1u << 30) - 0x1000 - 32 - 3, "1", "ab", 1));
    EXPECT_THROW(PayloadHeaderBytes(0x1000, (1u << 30) - 0x1000 - 32 - 2, "1", "ab", 1), PackError);
    try {
        CheckInstallerSize((1u << 30) + 1);
        FAIL();
    } catch (const PackError& e) {
        EXPECT_EQ(e.Code(), EXIT_DATA_ERROR);
        EXPECT_EQ(std::string(e.what()).find("the installer would be 1,073,741,825 bytes; it may be at most "
                                             "1,073,741,824 bytes (1 GiB)"),
                  0u)
            << e.what();
    }
    try {
        CheckInstallerSize(1100000000, "2 of 3 members packed");
        FAIL();
    } catch (const PackError& e) {
        EXPECT_NE(std::string(e.what()).find("more than 1,100,000,000 bytes (2 of 3 members packed)"),
                  std::string::npos)
            << e.what();
    }
}

// Lines as a message box wraps them at 72 columns, a full-width character
// taking two: 36 of them fit a 1024x768 screen.
TEST(ContainerWriter, AMessageTooLongForItsBoxIsNamed)
{
    auto lines = [](size_t count, const std::string& line, const char* end) {
        std::string text;
        for (size_t i = 0; i < count; ++i)
            text += line + end;
        return text;
    };
    const std::string fullWidth36 = lines(36, "\x82\xa0", ""); // 36 hiragana: one line of 72 columns
    EXPECT_EQ(MessageOverflow(lines(36, "short", "\r\n")), "");
    EXPECT_EQ(MessageOverflow(lines(35, "", "\n") + std::string(72, 'x')), "");
    EXPECT_EQ(MessageOverflow(lines(36, fullWidth36, "\r")), "");
    EXPECT_NE(MessageOverflow(lines(36, fullWidth36 + "x", "\n")), "") << "each line wraps once";
    EXPECT_NE(MessageOverflow(lines(37, "", "\r\n")), "");
    EXPECT_EQ(MessageOverflow(lines(5, "a", "\n") + std::string(72 * 31, 'w')), "");
}

TEST(ContainerWriter, TheShippingStubTakesAContainer)
{
    std::string stub = ShippingStub();
    ASSERT_FALSE(stub.empty()) << "build/win32/setup-stub.exe is not built (scripts/build)";
    Parts parts = PartsWithStub(2);
    parts.stub = ReadBytes(stub);
    EXPECT_NO_THROW(CheckStub(parts.stub)) << "the stub's own magic text must not form a run";
    Bytes image = BuildInstallerImage(parts);
    uint32_t header;
    EXPECT_EQ(ScanContainer(image.data(), (uint32_t)image.size(), &header), PAYLOAD_OK);
    EXPECT_EQ(header % 256, 24u);
    EXPECT_GE(header, parts.stub.size());
}

} // namespace
