#include "packer/pack/installer_verifier.h"

#include <gtest/gtest.h>

#include "pack_test_support.h"
#include "packer/pack/archive_writer.h"
#include "packer/pack/container_writer.h"
#include "packer/system/pack_error.h"

namespace {

const time_t kModified = 1700000000;

std::string Complaint(const std::function<void()>& check)
{
    try {
        check();
        return "";
    } catch (const PackError& e) {
        return e.what();
    }
}

// One member packed as build packs it, and what build expects of it.
class MemberCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        original_ = TextBytes(300000, 1);
        packed_ = PackMember(original_.data(), original_.size(), PackMethod::Lh5);
        ASSERT_TRUE(packed_.compressed);
        header_ = MemberHeader("notes.txt", original_.size(), kModified, packed_);
    }

    std::string Check(const Bytes& original, const std::string& name = "notes.txt",
                      uint32_t dosDateTime = DosDateTime(kModified))
    {
        ExpectedMember expected{name, original.data(), original.size(), dosDateTime};
        return Complaint([&] { VerifyPackedMember(2, expected, header_, packed_.stream); });
    }

    Bytes original_;
    PackedMember packed_;
    Bytes header_;
};

TEST_F(MemberCheck, AcceptsWhatWasPacked)
{
    EXPECT_EQ(Check(original_), "");
}

TEST_F(MemberCheck, RefusesOtherBytesLongerOrShorterOriginals)
{
    Bytes changed = original_;
    changed[150000] ^= 1;
    EXPECT_NE(Check(changed).find("member 2 decodes to other bytes"), std::string::npos);
    Bytes longer = original_;
    longer.push_back('!');
    EXPECT_NE(Check(longer).find("member 2 decodes to other bytes"), std::string::npos);
    Bytes shorter(original_.begin(), original_.end() - 1);
    EXPECT_NE(Check(shorter).find("member 2 decodes to other bytes"), std::string::npos);
}

TEST_F(MemberCheck, RefusesAnotherNameTimeOrADamagedStream)
{
    EXPECT_NE(Check(original_, "other.txt").find("member 2 comes back under another name"), std::string::npos);
    EXPECT_NE(Check(original_, "notes.txt", DosDateTime(kModified) + 1).find("another time stamp"),
              std::string::npos);
    packed_.stream[packed_.stream.size() / 2] ^= 0x40;
    EXPECT_NE(Check(original_).find("self-check of the built installer failed"), std::string::npos);
}

// A finished installer in memory and the headers build wrote into it.
class LayoutCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        contents_ = {BytesOf("short text"), TextBytes(30000, 1), RandomBytes(5000, 2), Bytes()};
        InstallerImage image = StartInstallerImage(FakeStub(4096));
        ArchiveWriter writer(image.bytes);
        for (size_t i = 0; i < contents_.size(); ++i) {
            const Bytes& bytes = contents_[i];
            PackedMember packed = PackMember(bytes.data(), bytes.size(), PackMethod::Lh5);
            std::string name = "member" + std::to_string(i);
            writer.Add(name, bytes.data(), bytes.size(), kModified, packed);
            headers_.push_back(MemberHeader(name, bytes.size(), kModified, packed));
        }
        writer.Finish();
        FinishImage(image, "1.0", "OK?", (int32_t)writer.MemberCount());
        image_ = image.bytes;
    }

    std::string Check()
    {
        return Complaint([&] { VerifyInstallerLayout(image_.data(), image_.size(), headers_); });
    }

    std::vector<Bytes> contents_;
    std::vector<Bytes> headers_;
    Bytes image_;
};

TEST_F(LayoutCheck, AcceptsWhatWasWritten)
{
    EXPECT_EQ(Check(), "");
}

TEST_F(LayoutCheck, RefusesAnotherHeaderCountOrEnd)
{
    headers_[2][kLevel1HeaderBytes] ^= 1;
    EXPECT_NE(Check().find("member 3 has another header"), std::string::npos);
    headers_.pop_back();
    EXPECT_NE(Check().find("the header counts 4 members"), std::string::npos);
}

TEST_F(LayoutCheck, RefusesADamagedArchiveAndAMissingContainer)
{
    Bytes image = image_;
    image_[4096 + 24 + 32] ^= 0x01; // the first member's header
    EXPECT_NE(Check().find("member 1 has another header"), std::string::npos);

    image_ = Bytes(image.begin(), image.begin() + 4096);
    EXPECT_NE(Check().find("the container scan gives code"), std::string::npos);
}

} // namespace
