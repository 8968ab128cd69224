#include <gtest/gtest.h>

#include "container/payload_container.h"
#include "test_containers.h"

namespace {

struct Scan {
    int code;
    uint32_t header;
};

Scan ScanOf(const Bytes& file)
{
    Scan scan;
    scan.code = ScanContainer(file.data(), (uint32_t)file.size(), &scan.header);
    return scan;
}

Bytes Image(size_t programSize)
{
    return Bytes(programSize, 0x90);
}

TEST(ContainerScan, TinyFilesHoldNoContainer)
{
    for (size_t size : {0, 1, 24}) {
        Bytes file = MagicRun();
        file.resize(size);
        EXPECT_EQ(ScanOf(file).code, PAYLOAD_NOT_FOUND) << size;
    }
}

TEST(ContainerScan, FindsAContainerOnlyAtA256ByteBoundary)
{
    Bytes file = AppendContainer(Image(1000), Payload());
    Scan scan = ScanOf(file);
    EXPECT_EQ(scan.code, PAYLOAD_OK);
    EXPECT_EQ(scan.header, 1024u + kMagicRunLength);

    Bytes shifted = Image(1025);
    Bytes container = ContainerBytes(Payload());
    shifted.insert(shifted.end(), container.begin(), container.end());
    EXPECT_EQ(ScanOf(shifted).code, PAYLOAD_NOT_FOUND);
    EXPECT_EQ(ScanOf(shifted).header, kNoHeader);
}

TEST(ContainerScan, EveryMagicGroupMustMatch)
{
    for (size_t group = 0; group < kMagicRepeats; ++group) {
        Bytes file = AppendContainer(Image(256), Payload());
        file[256 + group * kMagicTextLength + 5] = '!';
        EXPECT_EQ(ScanOf(file).code, PAYLOAD_NOT_FOUND) << group;
    }
}

TEST(ContainerScan, MagicRunAtTheVeryEndIsBeyondTheScan)
{
    Bytes file = Image(256);
    Bytes run = MagicRun();
    file.insert(file.end(), run.begin(), run.end());
    EXPECT_EQ(ScanOf(file).code, PAYLOAD_NOT_FOUND);
    file.push_back(0); // 25 bytes from the magic to the end: found, header cut
    EXPECT_EQ(ScanOf(file).code, PAYLOAD_OUT_OF_BOUNDS);
    EXPECT_EQ(ScanOf(file).header, kNoHeader);
}

TEST(ContainerScan, HeaderMustFitWhole)
{
    Bytes file = AppendContainer(Image(256), Payload());
    file.resize(256 + kMagicRunLength + 31);
    Scan scan = ScanOf(file);
    EXPECT_EQ(scan.code, PAYLOAD_OUT_OF_BOUNDS);
    EXPECT_EQ(scan.header, kNoHeader) << "the version of a cut header is not trusted";
}

TEST(ContainerScan, ArchiveMayEndAtTheEndOrBeFollowedByAnything)
{
    Payload payload;
    payload.archive = Bytes(100, 7);
    Bytes file = AppendContainer(Image(256), payload);
    EXPECT_EQ(ScanOf(file).code, PAYLOAD_OK);
    file.insert(file.end(), 4414, 0xA5);
    EXPECT_EQ(ScanOf(file).code, PAYLOAD_OK);
}

// Header fields that would lead outside the file, whatever their sign.
struct BadField {
    const char* what;
    size_t field;
    int32_t value;
};

void PrintTo(const BadField& field, std::ostream* out)
{
    *out << field.what;
}

class OutOfBounds : public ::testing::TestWithParam<BadField> {};

TEST_P(OutOfBounds, IsRefusedButTheHeaderIsKnown)
{
    Payload payload;
    payload.message = "confirm";
    payload.archive = Bytes(100, 7);
    Bytes file = AppendContainer(Image(512), payload);
    PutLe32(file, 512 + GetParam().field, GetParam().value);
    Scan scan = ScanOf(file);
    EXPECT_EQ(scan.code, PAYLOAD_OUT_OF_BOUNDS);
    EXPECT_EQ(scan.header, 512u + kMagicRunLength) << "the caption may show the version";
}

INSTANTIATE_TEST_SUITE_P(
    Fields, OutOfBounds,
    ::testing::Values(BadField{"archive one byte too long", kArchiveSizeField, 101},
                      BadField{"negative archive size", kArchiveSizeField, -1},
                      BadField{"archive before the file", kArchiveOffsetField, -600},
                      BadField{"archive offset wrapping", kArchiveOffsetField, 0x7FFFFFFF},
                      BadField{"size wrapping the sum", kArchiveSizeField, 0x7FFFFFF0},
                      BadField{"message past the end", kMessageOffsetField, 100000},
                      BadField{"message before the file", kMessageOffsetField, -1000},
                      BadField{"message at the last byte, no NUL", kMessageOffsetField, 32 + 8 + 99}),
    [](const ::testing::TestParamInfo<BadField>& info) {
        std::string name = info.param.what;
        for (char& c : name)
            if (!isalnum((unsigned char)c))
                c = '_';
        return name;
    });

TEST(ContainerScan, MessageInsideTheFileIsAccepted)
{
    Payload payload;
    payload.message = "confirm";
    Bytes file = AppendContainer(Image(512), payload);
    EXPECT_EQ(ScanOf(file).code, PAYLOAD_OK);
    // Pointing back into the program image is odd but stays inside the buffer.
    PutLe32(file, 512 + kMessageOffsetField, -500);
    EXPECT_EQ(ScanOf(file).code, PAYLOAD_OK);
}

TEST(ContainerScan, FirstOfTwoContainersWins)
{
    Bytes file = AppendContainer(AppendContainer(Image(256), Payload()), Payload());
    EXPECT_EQ(ScanOf(file).header, 256u + kMagicRunLength);
}

} // namespace
