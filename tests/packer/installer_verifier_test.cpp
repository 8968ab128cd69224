#include "packer/installer_verifier.h"

#include <gtest/gtest.h>

#include "packer/archive_writer.h"
#include "packer/container_writer.h"
#include "packer/pack_error.h"
#include "pack_test_support.h"

namespace {

const time_t kModified = 1700000000;

// A finished installer with these members, packed as build packs them, and
// what build would expect of it.
class Verifier : public ::testing::Test {
protected:
    void SetUp() override
    {
        contents_ = {BytesOf("short text"), TextBytes(300000, 1), RandomBytes(5000, 2), Bytes()};
        names_ = {"readme.txt", "notes.txt", "data.bin", "empty.dat"};
        InstallerImage image = StartInstallerImage(FakeStub(4096));
        ArchiveWriter writer(image.bytes);
        for (size_t i = 0; i < contents_.size(); ++i) {
            const Bytes& bytes = contents_[i];
            writer.Add(names_[i], bytes.data(), bytes.size(), kModified,
                       PackMember(bytes.data(), bytes.size(), PackMethod::Lh5));
            expected_.push_back(ExpectedMember{names_[i], &contents_[i], DosDateTime(kModified)});
        }
        writer.Finish();
        FinishInstallerImage(image, "1.0", "", (int32_t)writer.MemberCount());
        image_ = image.bytes;
    }

    // The verifier's complaint, or "" when it accepts.
    std::string Complaint()
    {
        try {
            VerifyInstaller(image_, expected_);
            return "";
        } catch (const PackError& e) {
            return e.what();
        }
    }

    std::vector<Bytes> contents_;
    std::vector<std::string> names_;
    std::vector<ExpectedMember> expected_;
    Bytes image_;
};

TEST_F(Verifier, AcceptsWhatWasPacked)
{
    EXPECT_EQ(Complaint(), "");
}

TEST_F(Verifier, RefusesOtherBytesLongerOrShorterOriginals)
{
    Bytes changed = contents_[1];
    changed[150000] ^= 1;
    expected_[1].bytes = &changed;
    EXPECT_NE(Complaint().find("member 2 decodes to other bytes"), std::string::npos);

    Bytes longer = contents_[0];
    longer.push_back('!');
    expected_[1].bytes = &contents_[1];
    expected_[0].bytes = &longer;
    EXPECT_NE(Complaint().find("member 1 decodes to other bytes"), std::string::npos);

    Bytes shorter(contents_[2].begin(), contents_[2].end() - 1);
    expected_[0].bytes = &contents_[0];
    expected_[2].bytes = &shorter;
    EXPECT_NE(Complaint().find("member 3 decodes to other bytes"), std::string::npos);

    Bytes notEmpty = BytesOf("x");
    expected_[2].bytes = &contents_[2];
    expected_[3].bytes = &notEmpty;
    EXPECT_NE(Complaint().find("member 4 decodes to other bytes"), std::string::npos);
}

TEST_F(Verifier, RefusesAnotherNameTimeOrCount)
{
    expected_[2].name = "other.bin";
    EXPECT_NE(Complaint().find("member 3 comes back under another name"), std::string::npos);
    expected_[2].name = names_[2];

    expected_[1].dosDateTime += 1;
    EXPECT_NE(Complaint().find("member 2 comes back with another time stamp"), std::string::npos);
    expected_[1].dosDateTime -= 1;

    expected_.pop_back();
    EXPECT_NE(Complaint().find("the header counts 4 members"), std::string::npos);
}

TEST_F(Verifier, RefusesADamagedArchiveAndAMissingContainer)
{
    Bytes image = image_;
    image_[image_.size() - 1000] ^= 0x40; // inside the random member's stored bytes
    EXPECT_NE(Complaint().find("self-check of the built installer failed"), std::string::npos);

    image_ = Bytes(image.begin(), image.begin() + 4096);
    EXPECT_NE(Complaint().find("the container scan gives code"), std::string::npos);
}

} // namespace
