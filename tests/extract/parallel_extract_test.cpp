// Extraction on several threads against the serial walker, with real files:
// the same result, failure, errno and files left, whichever member fails how.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

#include "archive_builder.h"
#include "extract/extract.h"
#include "extract/parallel_extract.h"
#include "packer/system/file_sink.h"
#include "posix_files.h"

namespace {

struct Outcome {
    int result;
    ExtractFailure reason;
    uint32_t member;
    std::string name;
    int error;
    std::map<std::string, Bytes> files;
};

// threads 0: the serial walker.
Outcome ExtractInto(const std::string& folder, const Bytes& archive, unsigned threads)
{
    Outcome outcome;
    outcome.result = threads == 0 ? ExtractArchive(folder.c_str(), archive.data(), (uint32_t)archive.size(), &fileMemberSink)
                                  : ExtractArchiveInParallel(folder.c_str(), archive.data(),
                                                             (uint32_t)archive.size(), &fileMemberSink, threads);
    ExtractFailureInfo failure = GetExtractFailure();
    outcome.reason = outcome.result < 0 ? failure.reason : FAILURE_NONE;
    outcome.member = outcome.result < 0 ? failure.memberNumber : 0;
    outcome.name = outcome.result < 0 ? failure.memberName : "";
    outcome.error = outcome.result == kExtractFileError ? FileSinkLastError() : 0;
    outcome.files = FilesBelow(folder);
    return outcome;
}

// Large members, so that helper threads start, and small ones after them.
std::vector<MemberSpec> Members()
{
    std::vector<MemberSpec> members;
    for (int i = 0; i < 5; ++i)
        members.push_back(Lh5Member("large" + std::to_string(i) + ".txt", TextBytes(300000 + 999 * i, 80 + i)));
    for (int i = 0; i < 70; ++i)
        members.push_back(Lh5Member("small" + std::to_string(i) + ".txt", TextBytes(100 + 37 * i, 90 + i)));
    return members;
}

void ExpectSameAsSerial(const std::string& what, const Bytes& archive,
                        const std::function<void(const std::string&)>& prepare = nullptr)
{
    SCOPED_TRACE(what);
    std::string serialFolder = FreshFolder(what + "-serial");
    std::string parallelFolder = FreshFolder(what + "-parallel");
    if (prepare) {
        prepare(serialFolder);
        prepare(parallelFolder);
    }
    Outcome serial = ExtractInto(serialFolder, archive, 0);
    Outcome parallel = ExtractInto(parallelFolder, archive, 3);
    EXPECT_EQ(serial.result, parallel.result);
    EXPECT_EQ(serial.reason, parallel.reason);
    EXPECT_EQ(serial.member, parallel.member);
    EXPECT_EQ(serial.name, parallel.name);
    EXPECT_EQ(serial.error, parallel.error);
    EXPECT_TRUE(serial.files == parallel.files) << serial.files.size() << " files against " << parallel.files.size();
}

TEST(ParallelExtract, LeavesAndReportsWhatTheSerialWalkerDoes)
{
    std::vector<MemberSpec> members = Members();
    Bytes whole = ArchiveOf(members);
    ExpectSameAsSerial("whole", whole);
    EXPECT_EQ((int)members.size(), ExtractInto(FreshFolder("count"), whole, 2).result);

    // Damage in two members: the first in archive order is the one reported,
    // whichever thread met its damage first, and the members finished after
    // it meanwhile are not kept (a member of 2 MB leaves time for many).
    for (size_t first : {1, 4, 40}) {
        std::vector<MemberSpec> damaged = members;
        if (first == 1)
            damaged[first] = Lh5Member(damaged[first].name, TextBytes(2000000, 81));
        if (first == 4)
            damaged[first].data.resize(damaged[first].data.size() / 2);
        else
            damaged[first].crc ^= 1;
        damaged.back().crc ^= 1;
        ExpectSameAsSerial("damaged" + std::to_string(first), ArchiveOf(damaged));
    }

    // Names used twice: the later member stands under each, whichever
    // thread created its file first (a race, hence a few runs).
    std::vector<MemberSpec> twins = members;
    for (size_t i = 6; i < twins.size(); i += 2)
        twins[i].name = twins[i - 1].name;
    for (int run = 0; run < 4; ++run)
        ExpectSameAsSerial("twins" + std::to_string(run), ArchiveOf(twins));

    // A header cut short after members that all come out whole.
    Bytes cut = whole;
    cut.resize(cut.size() - MemberBytes(members.back()).size() + 10);
    ExpectSameAsSerial("cut-header", cut);

    // File errors: a subfolder that is missing, and a folder under a member's
    // name that the finished member cannot replace.
    std::vector<MemberSpec> missing = members;
    missing[3].name = "sub\\large3.txt";
    ExpectSameAsSerial("missing-subfolder", ArchiveOf(missing));
    std::vector<MemberSpec> folder = members;
    folder[2].name = "dir";
    ExpectSameAsSerial("folder-in-the-way", ArchiveOf(folder), [](const std::string& destination) {
        ASSERT_EQ(0, mkdir((destination + "/dir").c_str(), 0755));
    });
}

} // namespace
