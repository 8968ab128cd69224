// morlu-pack list, test and extract as the publisher runs them: exit codes,
// messages that name the member, UTF-8 names, archives inside installers.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>

#include <string>

#include "archive_builder.h"
#include "posix_files.h"

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

// A shell command's standard output and exit status.
Outcome Shell(const std::string& command)
{
    FILE* pipe = popen(command.c_str(), "r");
    Outcome outcome;
    char buffer[4096];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        outcome.out.append(buffer, count);
    int status = pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

Outcome Pack(const std::string& arguments)
{
    std::string errPath = FreshFolder("stderr") + "/err.txt";
    Outcome outcome =
        Shell(std::string(MORLU_BUILD_DIR) + "/morlu-pack " + arguments + " 2>" + Quote(errPath));
    Bytes err = ReadWholeFile(errPath);
    outcome.err.assign(err.begin(), err.end());
    return outcome;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string WriteArchive(const Bytes& archive, const std::string& name = "archive.lzh")
{
    std::string path = FreshFolder("input") + "/" + name;
    WriteWholeFile(path, archive);
    return path;
}

// An installer: a program image, the container at a 256-byte boundary, the
// archive, and a signature table after it.
Bytes InstallerAround(const Bytes& archive, int32_t archiveSizeField, int32_t memberCount = 2)
{
    Bytes file(0x600, 0xCC);
    file[0] = 'M';
    file[1] = 'Z';
    for (int i = 0; i < 4; ++i)
        for (char c : std::string("#ZQJ# "))
            file.push_back((uint8_t)c);
    Bytes header(32, 0);
    memcpy(header.data(), "1.10", 4);
    auto put = [&](size_t at, int32_t value) {
        for (int i = 0; i < 4; ++i)
            header[at + i] = (uint8_t)(value >> 8 * i);
    };
    put(20, memberCount);
    put(24, 32);
    put(28, archiveSizeField);
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), archive.begin(), archive.end());
    file.insert(file.end(), 4414, 0x5A);
    return file;
}

Bytes TwoMembers()
{
    MemberSpec text = Lh5Member("readme.txt", TextBytes(40000, 90));
    text.dosDate = (uint16_t)((43 << 9) | (12 << 5) | 24); // 2023-12-24
    text.dosTime = (uint16_t)((18 << 11) | (30 << 5) | 5); // 18:30:10
    return ArchiveOf({text, StoredMember("\x95\x5C\x8E\xA6.bin", RandomBytes(1000, 91))}); // 表示.bin
}

TEST(PackCli, HelpAndUsageErrors)
{
    Outcome help = Pack("--help");
    EXPECT_EQ(0, help.status);
    for (const char* part : {"list FILE", "test FILE", "extract FILE", "-C DIR", "Exit status", "data error",
                             "file error", "installer"})
        EXPECT_TRUE(Contains(help.out, part)) << part;

    for (const char* arguments : {"", "frobnicate x", "list", "list a b", "test", "extract", "extract a.lzh -C",
                                  "extract a.lzh -x", "extract a.lzh b.lzh"}) {
        Outcome usage = Pack(arguments);
        EXPECT_EQ(1, usage.status) << arguments;
        EXPECT_TRUE(Contains(usage.err, "morlu-pack")) << arguments;
        EXPECT_TRUE(usage.out.empty()) << arguments;
    }
}

TEST(PackCli, ListShowsEveryMemberWithItsNameInUtf8)
{
    Bytes archive = TwoMembers();
    Outcome list = Pack("list " + Quote(WriteArchive(archive)));
    EXPECT_EQ(0, list.status) << list.err;
    MemberSpec first = Lh5Member("readme.txt", TextBytes(40000, 90));
    char expected[200];
    snprintf(expected, sizeof expected, "-lh5- %10u %10u %04X 2023-12-24 18:30:10 readme.txt\n",
             (unsigned)first.data.size(), 40000u, first.crc);
    snprintf(expected + strlen(expected), sizeof expected - strlen(expected),
             "-lh0- %10u %10u %04X 2021-03-04 05:06:08 表示.bin\n", 1000u, 1000u,
             ReferenceCrc16(RandomBytes(1000, 91)));
    EXPECT_EQ(expected, list.out);
}

TEST(PackCli, ListFindsTheArchiveInsideAnInstaller)
{
    Bytes archive = TwoMembers();
    Outcome list = Pack("list " + Quote(WriteArchive(InstallerAround(archive, (int32_t)archive.size()), "setup.exe")));
    EXPECT_EQ(0, list.status) << list.err;
    EXPECT_TRUE(Contains(list.out, "readme.txt"));
    EXPECT_TRUE(Contains(list.out, "表示.bin"));

    Outcome damaged = Pack("list " + Quote(WriteArchive(InstallerAround(archive, (int32_t)archive.size() + 5000),
                                                        "setup.exe")));
    EXPECT_EQ(2, damaged.status);
    EXPECT_TRUE(Contains(damaged.err, "setup.exe: payload container damaged")) << damaged.err;
}

TEST(PackCli, OnlyProgramsAreSearchedForAContainer)
{
    // A bare archive that stores an installer holds a magic run at a 256-byte
    // boundary; it is still listed as itself.
    Bytes inner = TwoMembers();
    Bytes installer = InstallerAround(inner, (int32_t)inner.size());
    MemberSpec stored = StoredMember("setup.exe", installer);
    size_t storedHeader = MemberBytes(stored).size() - installer.size();
    // A first member that puts the stored installer's magic run at a multiple of 256.
    MemberSpec padding = StoredMember("pad", Bytes(256 - 30 - storedHeader % 256, 'p'));
    Bytes archive = ArchiveOf({padding, stored});
    size_t magic = MemberBytes(padding).size() + storedHeader + 0x600;
    ASSERT_EQ(0u, magic % 256);
    ASSERT_EQ(0, memcmp(archive.data() + magic, "#ZQJ# #ZQJ# ", 12));
    Outcome list = Pack("list " + Quote(WriteArchive(archive)));
    EXPECT_EQ(0, list.status) << list.err;
    EXPECT_TRUE(Contains(list.out, "setup.exe"));
    EXPECT_FALSE(Contains(list.out, "readme.txt"));

    Bytes program(4096, 0);
    program[0] = 'M';
    program[1] = 'Z';
    Outcome bare = Pack("list " + Quote(WriteArchive(program, "other.exe")));
    EXPECT_EQ(2, bare.status);
    EXPECT_TRUE(Contains(bare.err, "other.exe: a program without a payload container")) << bare.err;
}

// Nothing that holds no archive passes as one of no members: list, test and
// extract call it damaged, whatever its bytes.
TEST(PackCli, AFileWithoutAnArchiveIsDamagedNotEmpty)
{
    Bytes leadingZero = RandomBytes(5000, 94);
    leadingZero[0] = 0; // an end mark where the first header would be
    const std::string program = std::string(MORLU_SOURCE_DIR) + "/build/win64/demo-product/Morlu.exe";
    ASSERT_EQ(0, RunCommand("test -f " + Quote(program))) << program << " is not built (scripts/build)";
    const std::string in = FreshFolder("inputs");
    WriteWholeFile(in + "/empty.exe", Bytes());
    WriteWholeFile(in + "/zero.lzh", leadingZero);
    WriteWholeFile(in + "/noise.bin", RandomBytes(5000, 95));
    const std::vector<std::pair<std::string, std::string>> inputs = {
        {in + "/empty.exe", "empty.exe: an empty file, neither an installer nor an LHA archive"},
        {in + "/zero.lzh", "zero.lzh: neither an installer"},
        {in + "/noise.bin", "noise.bin: neither an installer"},
        {program, "Morlu.exe: a program without a payload container"},
    };
    for (const auto& input : inputs) {
        for (const char* command : {"list ", "test ", "extract "}) {
            std::string folder = FreshFolder("out");
            Outcome outcome =
                Pack(command + Quote(input.first) + (command[0] == 'e' ? " -C " + Quote(folder) : ""));
            EXPECT_EQ(2, outcome.status) << command << input.first;
            EXPECT_EQ("", outcome.out) << command << input.first;
            EXPECT_TRUE(Contains(outcome.err, input.second)) << command << outcome.err;
            EXPECT_TRUE(FilesBelow(folder).empty());
        }
    }
}

TEST(PackCli, ListReportsDamagedHeaders)
{
    Bytes archive = TwoMembers();
    size_t second = MemberBytes(Lh5Member("readme.txt", TextBytes(40000, 90))).size();
    archive[second + 1] ^= 0x40;
    Outcome list = Pack("list " + Quote(WriteArchive(archive)));
    EXPECT_EQ(2, list.status);
    EXPECT_TRUE(Contains(list.out, "readme.txt"));
    EXPECT_TRUE(Contains(list.err, "member 2: header checksum does not match")) << list.err;

    Bytes cut(archive.begin(), archive.begin() + 100);
    list = Pack("list " + Quote(WriteArchive(cut)));
    EXPECT_EQ(2, list.status);
    EXPECT_TRUE(Contains(list.err, "member 1 (readme.txt): archive ends inside the member's data")) << list.err;
}

TEST(PackCli, TestChecksEveryMember)
{
    Outcome good = Pack("test " + Quote(WriteArchive(TwoMembers())));
    EXPECT_EQ(0, good.status) << good.err;
    EXPECT_EQ("OK  readme.txt\nOK  表示.bin\n2 members OK\n", good.out);

    MemberSpec bad = StoredMember("bad.bin", RandomBytes(100, 92));
    bad.crc ^= 0x1111;
    Outcome damaged = Pack("test " + Quote(WriteArchive(ArchiveOf({Lh5Member("fine.txt", BytesOf("fine")), bad}))));
    EXPECT_EQ(2, damaged.status);
    EXPECT_EQ("OK  fine.txt\n", damaged.out);
    EXPECT_TRUE(Contains(damaged.err, "member 2 (bad.bin): CRC-16 does not match")) << damaged.err;

    // A header that fails before its member is made: the members before it were good.
    MemberSpec one = Lh5Member("one.txt", BytesOf("one")), two = Lh5Member("two.txt", BytesOf("two"));
    Bytes archive = ArchiveOf({one, two, Lh5Member("three.txt", BytesOf("three"))});
    archive[MemberBytes(one).size() + MemberBytes(two).size() + 1] ^= 1;
    damaged = Pack("test " + Quote(WriteArchive(archive)));
    EXPECT_EQ(2, damaged.status);
    EXPECT_EQ("OK  one.txt\nOK  two.txt\n", damaged.out);
    EXPECT_TRUE(Contains(damaged.err, "member 3: header checksum does not match")) << damaged.err;
}

TEST(PackCli, TestAndExtractJlhaArchives)
{
    const Corpus& corpus = JlhaCorpus();
    for (const std::string& archive : {corpus.level0, corpus.level1}) {
        Outcome test = Pack("test " + Quote(archive));
        EXPECT_EQ(0, test.status) << test.err;
        EXPECT_TRUE(Contains(test.out, std::to_string(corpus.names.size()) + " members OK"));

        std::string folder = FreshFolder("extracted");
        Outcome extract = Pack("extract " + Quote(archive) + " -C " + Quote(folder));
        EXPECT_EQ(0, extract.status) << extract.err;
        for (const std::string& name : corpus.names)
            EXPECT_TRUE(ReadWholeFile(folder + "/" + name) == ReadWholeFile(corpus.folder + "/" + name)) << name;
    }
}

TEST(PackCli, ExtractWritesIntoTheFolder)
{
    std::string input = WriteArchive(InstallerAround(TwoMembers(), (int32_t)TwoMembers().size()), "setup.exe");
    std::string folder = FreshFolder("out");
    Outcome extract = Pack("extract " + Quote(input) + " -C " + Quote(folder + "/"));
    EXPECT_EQ(0, extract.status) << extract.err;
    EXPECT_TRUE(ReadWholeFile(folder + "/readme.txt") == TextBytes(40000, 90));
    EXPECT_TRUE(ReadWholeFile(folder + "/表示.bin") == RandomBytes(1000, 91));

    // -C may come first.
    std::string other = FreshFolder("other");
    EXPECT_EQ(0, Pack("extract -C " + Quote(other) + " " + Quote(input)).status);
    EXPECT_TRUE(ReadWholeFile(other + "/readme.txt") == TextBytes(40000, 90));
}

TEST(PackCli, ExtractFileErrors)
{
    std::string input = WriteArchive(TwoMembers());
    Outcome missing = Pack("extract " + Quote(input) + " -C " + Quote(FreshFolder("out") + "/missing"));
    EXPECT_EQ(3, missing.status);
    EXPECT_TRUE(Contains(missing.err, "No such file or directory")) << missing.err;

    // A folder where the member's file should go.
    std::string folder = FreshFolder("out");
    ASSERT_EQ(0, RunCommand("mkdir " + Quote(folder + "/readme.txt")));
    Outcome blocked = Pack("extract " + Quote(input) + " -C " + Quote(folder));
    EXPECT_EQ(3, blocked.status);
    EXPECT_TRUE(Contains(blocked.err, "member 1 (readme.txt): cannot create the file: Is a directory")) << blocked.err;

    Outcome unreadable = Pack("list " + Quote(folder + "/no-such.lzh"));
    EXPECT_EQ(3, unreadable.status);
    EXPECT_TRUE(Contains(unreadable.err, "no-such.lzh: No such file or directory")) << unreadable.err;
}

TEST(PackCli, ExtractRefusesNamesThatLeaveTheFolder)
{
    std::string folder = FreshFolder("out");
    std::string input = WriteArchive(ArchiveOf({Lh5Member("..\\escaped.txt", BytesOf("x"))}));
    Outcome extract = Pack("extract " + Quote(input) + " -C " + Quote(folder));
    EXPECT_EQ(2, extract.status);
    EXPECT_TRUE(Contains(extract.err, "member 1 (..\\escaped.txt): name would leave the destination folder"))
        << extract.err;
    EXPECT_NE(0, RunCommand("test -e " + Quote(folder + "/../escaped.txt")));
}

// What the installer refuses, test refuses too: a count that is off, names it
// cannot create in its fresh work folder.
TEST(PackCli, TestHoldsInstallersToTheInstallersRules)
{
    Bytes two = TwoMembers();
    for (int32_t count : {0, 1, 3, -1}) {
        std::string setup = WriteArchive(InstallerAround(two, (int32_t)two.size(), count), "setup.exe");
        Outcome test = Pack("test " + Quote(setup));
        EXPECT_EQ(2, test.status) << count;
        EXPECT_TRUE(Contains(test.err, "the payload header counts " + std::to_string(count) + " members")) << test.err;
        Outcome extract = Pack("extract " + Quote(setup) + " -C " + Quote(FreshFolder("out")));
        EXPECT_EQ(2, extract.status) << count;
    }
    EXPECT_EQ(0, Pack("test " + Quote(WriteArchive(InstallerAround(two, (int32_t)two.size()), "setup.exe"))).status);

    for (const char* name : {"CON", "CONIN$", "aux.txt", "a?b", "", "sub\\x.txt"}) {
        Bytes archive = ArchiveOf({Lh5Member("fine.txt", BytesOf("fine")), Lh5Member(name, BytesOf("x"))});
        Outcome test = Pack("test " + Quote(WriteArchive(InstallerAround(archive, (int32_t)archive.size()), "setup.exe")));
        EXPECT_EQ(2, test.status) << name;
        EXPECT_EQ("OK  fine.txt\n", test.out) << name;
        EXPECT_TRUE(Contains(test.err, "member 2")) << test.err;
    }
}

// One -lh5- member of no data that claims 4 GiB: no bytes to decode, so
// nothing may be made of it, at once.
TEST(PackCli, AnArchiveOfThirtyThreeBytesIsDamagedAtOnce)
{
    MemberSpec member = Lh5Member("large.bin", Bytes());
    member.data.clear();
    member.originalSize = 0xFFFFFFFF;
    member.level = 0;
    Bytes archive = ArchiveOf({member}, false);
    ASSERT_EQ(33u, archive.size());
    std::string input = WriteArchive(archive);
    Outcome test = Pack("test " + Quote(input));
    EXPECT_EQ(2, test.status);
    EXPECT_TRUE(Contains(test.err, "runs past the end of the archive")) << test.err;
    std::string folder = FreshFolder("out");
    EXPECT_EQ(2, Pack("extract " + Quote(input) + " -C " + Quote(folder)).status);
    EXPECT_TRUE(FilesBelow(folder).empty());
}

TEST(PackCli, ListAndTestAgreeOnAHeaderOfTheWrongLevel)
{
    // A level-0 header that calls itself level 1 has no room for the extended size.
    MemberSpec member = Lh5Member("plain.txt", TextBytes(300, 93), 0);
    Bytes archive = ArchiveOf({member});
    archive[20] = 1;
    uint8_t sum = 0;
    for (size_t i = 2; i < archive[0] + 2u; ++i)
        sum = (uint8_t)(sum + archive[i]);
    archive[1] = sum;
    std::string input = WriteArchive(archive);
    for (const char* command : {"list", "test"}) {
        Outcome outcome = Pack(std::string(command) + " " + Quote(input));
        EXPECT_EQ(2, outcome.status) << command;
        EXPECT_TRUE(Contains(outcome.err, "member 1: extended header damaged or cut short")) << outcome.err;
    }
}

// Names come from the archive: none may forge a line or act on the terminal.
TEST(PackCli, NamesNeverReachTheTerminalRaw)
{
    Bytes archive = ArchiveOf({Lh5Member("a\nOK  forged.txt", BytesOf("x")), Lh5Member("\x1b[2J\x07\r", BytesOf("y"))});
    std::string input = WriteArchive(archive);
    Outcome list = Pack("list " + Quote(input));
    EXPECT_EQ(0, list.status) << list.err;
    EXPECT_TRUE(Contains(list.out, "a\\x0AOK  forged.txt\n")) << list.out;
    EXPECT_TRUE(Contains(list.out, "\\x1B[2J\\x07\\x0D\n")) << list.out;
    EXPECT_EQ(2u, (size_t)std::count(list.out.begin(), list.out.end(), '\n'));

    Outcome test = Pack("test " + Quote(input));
    EXPECT_EQ(2, test.status);
    EXPECT_TRUE(Contains(test.err, "member 1 (a\\x0AOK  forged.txt)")) << test.err;
    EXPECT_EQ(std::string::npos, test.err.find('\x1b'));
}

TEST(PackCli, AFifoIsNoArchiveAndHoldsNothingUp)
{
    std::string fifo = FreshFolder("fifo") + "/archive.lzh";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));
    for (const char* command : {"list ", "test ", "extract "}) {
        Outcome outcome = Pack(command + Quote(fifo) + (command[0] == 'e' ? " -C " + Quote(FreshFolder("out")) : ""));
        EXPECT_EQ(3, outcome.status) << command;
        EXPECT_TRUE(Contains(outcome.err, "not a regular file")) << outcome.err;
    }
}

// Every command answers -h and --help on standard output with exit 0; -- ends
// the options, so that a file may start with a dash.
TEST(PackCli, HelpVersionAndDoubleDashForEveryCommand)
{
    Outcome version = Pack("--version");
    EXPECT_EQ(0, version.status);
    EXPECT_EQ(0u, version.out.find("morlu-pack 1.")) << version.out;
    for (const char* command : {"build", "list", "test", "extract"}) {
        for (const char* flag : {"-h", "--help"}) {
            Outcome help = Pack(std::string(command) + " " + flag);
            EXPECT_EQ(0, help.status) << command << " " << flag;
            EXPECT_EQ(0u, help.out.find(std::string("Usage: morlu-pack ") + command)) << help.out;
            EXPECT_TRUE(help.err.empty()) << help.err;
        }
    }

    std::string folder = FreshFolder("dash");
    WriteWholeFile(folder + "/-h", TwoMembers());
    std::string in = "cd " + Quote(folder) + " && " + std::string(MORLU_BUILD_DIR) + "/morlu-pack ";
    EXPECT_EQ(0, RunCommand(in + "list -- -h >/dev/null"));
    EXPECT_EQ(0, RunCommand(in + "test -- -h >/dev/null"));
    EXPECT_EQ(0, RunCommand(in + "extract -C . -- -h"));
    EXPECT_TRUE(ReadWholeFile(folder + "/readme.txt") == TextBytes(40000, 90));
    for (const char* command : {"list -x -- a", "test --frob a", "extract -- a -C ."}) {
        Outcome usage = Pack(command);
        EXPECT_EQ(1, usage.status) << command << ": " << usage.err;
    }
}

// Standard output goes out before a message on standard error, also when both
// go down one pipe.
TEST(PackCli, MessagesFollowWhatCameBeforeThemWhenPiped)
{
    MemberSpec bad = StoredMember("bad.bin", RandomBytes(100, 92));
    bad.crc ^= 0x1111;
    std::string input = WriteArchive(ArchiveOf({Lh5Member("fine.txt", BytesOf("fine")), bad}));
    std::string merged = FreshFolder("merged") + "/out.txt";
    RunCommand(std::string(MORLU_BUILD_DIR) + "/morlu-pack test " + Quote(input) + " 2>&1 | cat > " + Quote(merged));
    Bytes out = ReadWholeFile(merged);
    std::string text(out.begin(), out.end());
    EXPECT_EQ(0u, text.find("OK  fine.txt\nmorlu-pack: ")) << text;
}

// The manual documents every option that build --help names.
TEST(PackCli, TheManualNamesEveryOptionOfTheHelp)
{
    Bytes page = ReadWholeFile(std::string(MORLU_BUILD_DIR) + "/packer/morlu-pack.1");
    std::string manual(page.begin(), page.end()), plain;
    for (size_t i = 0; i < manual.size(); ++i) {
        if (manual.compare(i, 2, "\\-") == 0)
            ++i;
        plain += manual[i];
    }
    Outcome help = Pack("build --help");
    size_t options = 0;
    for (size_t at = help.out.find("\n  -"); at != std::string::npos; at = help.out.find("\n  -", at + 1)) {
        std::string option = help.out.substr(at + 3, help.out.find_first_of(" ,\n", at + 3) - at - 3);
        EXPECT_TRUE(Contains(plain, option)) << option << " is not in morlu-pack.1";
        ++options;
    }
    EXPECT_GE(options, 15u);
    EXPECT_EQ(0, RunCommand("groff -man -Tutf8 -ww -z " + Quote(std::string(MORLU_BUILD_DIR) + "/packer/morlu-pack.1") +
                            " 2>&1 | grep . && exit 1 || exit 0"))
        << "groff warns about the manual";
}

const std::string kShippingStub = std::string(MORLU_SOURCE_DIR) + "/build/win32/setup-stub.exe";

// An installed morlu-pack builds with the stub installed beside it: the
// shipping one, unbranded, and the installer tests clean.
void ExpectInstalledToolBuilds(const std::string& program)
{
    std::string product = FreshFolder("product");
    const std::string demo = std::string(MORLU_SOURCE_DIR) + "/build/win32/demo-product/";
    WriteWholeFile(product + "/DEZAZAZE.exe", ReadWholeFile(demo + "DEZAZAZE.exe"));
    WriteWholeFile(product + "/Morlu.exe", ReadWholeFile(demo + "Morlu.exe"));
    WriteWholeFile(product + "/Morlu.txt", BytesOf("notes\r\n"));
    std::string setup = FreshFolder("setup") + "/setup.exe";
    Outcome build = Shell(Quote(program) + " build -q --version 1 -o " + Quote(setup) + " " + Quote(product) + " 2>&1");
    ASSERT_EQ(0, build.status) << program << ": " << build.out;
    Bytes built = ReadWholeFile(setup), shipping = ReadWholeFile(kShippingStub);
    EXPECT_TRUE(std::equal(shipping.begin(), shipping.end(), built.begin())) << program << ": not the shipping stub";
    EXPECT_EQ(0, Shell(Quote(program) + " test " + Quote(setup)).status) << program;
}

// cmake --install puts the tool, the stub and the manual where they are
// looked for: build then needs no --stub.
TEST(PackInstall, ToolStubAndManualInTheirPlaces)
{
    ASSERT_EQ(RunCommand("test -f " + Quote(kShippingStub)), 0)
        << "build/win32/setup-stub.exe is not built (scripts/build)";
    std::string prefix = FreshFolder("prefix");
    ASSERT_EQ(0, RunCommand("cmake --install " + Quote(MORLU_BUILD_DIR) + " --prefix " + Quote(prefix) + " >/dev/null"));
    std::vector<std::string> installed;
    for (const auto& file : FilesBelow(prefix))
        installed.push_back(file.first);
    EXPECT_EQ(installed, (std::vector<std::string>{"bin/morlu-pack", "share/man/man1/morlu-pack.1",
                                                   "share/morlu-pack/setup-stub.exe"}));
    EXPECT_TRUE(ReadWholeFile(prefix + "/share/morlu-pack/setup-stub.exe") == ReadWholeFile(kShippingStub));
    ExpectInstalledToolBuilds(prefix + "/bin/morlu-pack");
}

// The native build alone, as when no win32 build made the stub: the tool and
// the manual go in all the same, and the words say how to add the stub.
TEST(PackInstall, WithoutAStubTheToolAndManualStillGoIn)
{
    std::string prefix = FreshFolder("prefix"), missing = FreshFolder("nothing") + "/setup-stub.exe";
    Outcome install = Shell("cmake -DMORLU_STUB=" + Quote(missing) + " -DCMAKE_INSTALL_PREFIX=" + Quote(prefix) +
                          " -P " + Quote(std::string(MORLU_BUILD_DIR) + "/cmake_install.cmake") + " 2>&1");
    EXPECT_EQ(0, install.status) << install.out;
    std::vector<std::string> installed;
    for (const auto& file : FilesBelow(prefix))
        installed.push_back(file.first);
    EXPECT_EQ(installed, (std::vector<std::string>{"bin/morlu-pack", "share/man/man1/morlu-pack.1"}));
    std::string words;
    for (char c : install.out)
        words += c == '\n' ? ' ' : c;
    words.erase(std::unique(words.begin(), words.end(), [](char a, char b) { return a == ' ' && b == ' '; }),
                words.end());
    for (const std::string& part : {"there is none at " + missing, std::string("cmake --build --preset win32"),
                                    std::string("-DMORLU_STUB="), std::string("morlu-pack build --stub")})
        EXPECT_NE(words.find(part), std::string::npos) << part << " is not in: " << install.out;

    Outcome build = Shell(Quote(prefix + "/bin/morlu-pack") + " build --version 1 -o x.exe . 2>&1");
    EXPECT_EQ(1, build.status);
    EXPECT_TRUE(Contains(build.out, "no --stub given, and none is installed at " + prefix)) << build.out;
}

// cpack makes a .deb and a .tar.gz of the tool, the stub and the manual: the
// .deb's contents and fields as dpkg reads them, apt's plan for it (a
// simulation: nothing is installed), and each one's tool run where it was
// unpacked.
TEST(PackInstall, DebAndTarballOfTheToolStubAndManual)
{
    std::string packages = FreshFolder("packages");
    Outcome cpack = Shell("cpack --config " + Quote(std::string(MORLU_BUILD_DIR) + "/CPackConfig.cmake") + " -B " +
                        Quote(packages) + " 2>&1");
    ASSERT_EQ(0, cpack.status) << cpack.out;
    std::string version = Pack("--version").out.substr(11);
    version.pop_back();
    std::string deb = packages + "/morlu-pack_" + version + "_" + Shell("dpkg --print-architecture | tr -d '\\n'").out +
                      ".deb";
    const std::string top = "morlu-pack-" + version + "-Linux";
    std::string tarball = packages + "/" + top + ".tar.gz";

    Outcome contents = Shell("dpkg-deb -c " + Quote(deb) + " | awk '$1 !~ /^d/ { print $1, $2, $6 }'");
    ASSERT_EQ(0, contents.status) << contents.out;
    EXPECT_EQ(contents.out, "-rwxr-xr-x root/root ./usr/bin/morlu-pack\n"
                            "-rw-r--r-- root/root ./usr/share/man/man1/morlu-pack.1.gz\n"
                            "-rw-r--r-- root/root ./usr/share/morlu-pack/setup-stub.exe\n");
    Outcome fields = Shell("dpkg-deb -f " + Quote(deb) + " Package Version Depends");
    EXPECT_EQ(0, fields.status) << fields.out;
    EXPECT_EQ(0u, fields.out.find("Package: morlu-pack\nVersion: " + version + "\nDepends: libc6 (>= 2.")) << fields.out;
    EXPECT_EQ(std::string::npos, fields.out.find(',')) << "libc6 alone: " << fields.out;
    Outcome plan =
        Shell("cd " + Quote(packages) + " && apt-get install -s ./" + deb.substr(packages.size() + 1) + " 2>&1");
    EXPECT_EQ(0, plan.status) << plan.out;
    EXPECT_TRUE(Contains(plan.out, "Inst morlu-pack (" + version + " ")) << plan.out;

    std::string root = FreshFolder("root");
    ASSERT_EQ(0, RunCommand("dpkg-deb -x " + Quote(deb) + " " + Quote(root)));
    EXPECT_TRUE(ReadWholeFile(root + "/usr/share/morlu-pack/setup-stub.exe") == ReadWholeFile(kShippingStub));
    EXPECT_EQ(0, Shell("zcat " + Quote(root + "/usr/share/man/man1/morlu-pack.1.gz") + " | grep -q '^.SH EXIT STATUS'")
                     .status);
    ExpectInstalledToolBuilds(root + "/usr/bin/morlu-pack");

    std::string unpacked = FreshFolder("unpacked");
    Outcome listed = Shell("tar -tzf " + Quote(tarball) + " | grep -v '/$' | sort");
    EXPECT_EQ(listed.out, top + "/bin/morlu-pack\n" + top + "/share/man/man1/morlu-pack.1.gz\n" + top +
                              "/share/morlu-pack/setup-stub.exe\n");
    ASSERT_EQ(0, RunCommand("tar -xzf " + Quote(tarball) + " -C " + Quote(unpacked)));
    ExpectInstalledToolBuilds(unpacked + "/" + top + "/bin/morlu-pack");
}

} // namespace
