// Byte-identical output against lhasa, the independent decoder, on archives
// made by jlha at both header levels and on hand-made archives of what jlha
// never writes.
#include <gtest/gtest.h>

#include <string>

#include "archive_builder.h"
#include "extract/extract.h"
#include "lh5_writer.h"
#include "packer/system/file_sink.h"
#include "posix_files.h"

namespace {

// Extracts with the engine and with lhasa into two fresh folders and compares
// every file; returns the engine's result. (Debian's "lha" may be jlha.)
int CompareWithLhasa(const std::string& archivePath, const std::string& ours)
{
    std::string theirs = FreshFolder("lhasa");
    Bytes archive = ReadWholeFile(archivePath);
    int result = ExtractArchive(ours.c_str(), archive.data(), (uint32_t)archive.size(), &fileMemberSink);
    EXPECT_EQ(0, RunCommand("lhasa xqw=" + Quote(theirs) + " " + Quote(archivePath) + " >/dev/null 2>&1"));

    std::map<std::string, Bytes> ourFiles = FilesBelow(ours), theirFiles = FilesBelow(theirs);
    EXPECT_EQ(theirFiles.size(), ourFiles.size());
    for (const auto& file : theirFiles) {
        auto found = ourFiles.find(file.first);
        if (found == ourFiles.end()) {
            ADD_FAILURE() << file.first << " missing";
            continue;
        }
        EXPECT_TRUE(found->second == file.second) << file.first << " differs";
    }
    return result;
}

void CheckCorpusLevel(const std::string& archive)
{
    const Corpus& corpus = JlhaCorpus();
    std::string ours = FreshFolder("engine");
    EXPECT_EQ((int)corpus.names.size(), CompareWithLhasa(archive, ours));
    for (const std::string& name : corpus.names) {
        std::string original = corpus.folder + "/" + name;
        EXPECT_TRUE(ReadWholeFile(ours + "/" + name) == ReadWholeFile(original)) << name;
        // MS-DOS times count in steps of two seconds.
        long difference = (long)(FileStatus(original).st_mtime - FileStatus(ours + "/" + name).st_mtime);
        EXPECT_TRUE(difference >= 0 && difference < 2) << name << " is off by " << difference << " s";
    }
}

TEST(Lhasa, JlhaLevel0Archive)
{
    CheckCorpusLevel(JlhaCorpus().level0);
}

TEST(Lhasa, JlhaLevel1Archive)
{
    // jlha writes an extended header into every level-1 header.
    Bytes archive = ReadWholeFile(JlhaCorpus().level1);
    ASSERT_NE(0, archive[archive[0]] | archive[archive[0] + 1]);
    CheckCorpusLevel(JlhaCorpus().level1);
}

// A block count of 0 (65,536 symbols) is not compared: lhasa fails on it.
TEST(Lhasa, HandMadeArchives)
{
    Bytes text = TextBytes(150000, 60);
    MemberSpec lh4 = Lh5Member("lh4.txt", text);
    lh4.method = "-lh4-";
    lh4.data = CompressLh5(text, 65535, 4096);

    // Blocks of the largest count, 65,535.
    Bytes literals = RandomBytes(65535 * 2 + 300, 61);
    std::vector<Lh5Token> tokens;
    for (uint8_t byte : literals)
        tokens.push_back(Lh5Token::Literal(byte));
    BitWriter fullBlocks;
    for (size_t start = 0; start < tokens.size(); start += 65535)
        WriteBlock(fullBlocks, std::vector<Lh5Token>(tokens.begin() + start,
                                                     tokens.begin() + std::min(tokens.size(), start + 65535)));
    MemberSpec full = Lh5Member("blocks65535.bin", literals);
    full.data = fullBlocks.Finish();

    // One-symbol codes: a literal, then 2,560 bytes by references of one length and distance.
    BitWriter single;
    WriteBlock(single, {Lh5Token::Literal('Q')});
    WriteBlock(single, std::vector<Lh5Token>(10, Lh5Token::Reference(256, 1)));
    MemberSpec oneSymbol = Lh5Member("single.txt", Bytes(2561, 'Q'));
    oneSymbol.data = single.Finish();

    // Blocks of 50 symbols.
    Bytes mixed = TextBytes(40000, 62);
    MemberSpec small = Lh5Member("small-blocks.txt", mixed, 0);
    small.data = CompressLh5(mixed, 50);

    Bytes archive = ArchiveOf({StoredMember("stored.bin", RandomBytes(70000, 63)), lh4, full, oneSymbol, small,
                               StoredMember("empty", Bytes(), 0)});
    std::string path = FreshFolder("archive") + "/hand-made.lzh";
    WriteWholeFile(path, archive);
    EXPECT_EQ(6, CompareWithLhasa(path, FreshFolder("engine")));
}

} // namespace
