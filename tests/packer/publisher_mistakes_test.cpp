// The mistakes publishers really make, each caught with words that say what
// to do: morlu-pack build run on real files, as a publisher runs it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "build_fixture.h"

namespace {

class PublisherMistake : public BuildRefuses {};

// Only a program of the stub's machine starts where the installer runs: the
// i386 stub promises 32-bit Windows, which run no x86-64 program.
TEST_F(PublisherMistake, AnInnerInstallerTheInstallerCannotStart)
{
    WriteBytes(In() + "/DEZAZAZE.exe", BytesOf("hello\n"));
    ExpectRefused(PackDefault(), {"text file", 2, "in/DEZAZAZE.exe: not a Windows program: the installer starts it"});
    WriteBytes(In() + "/DEZAZAZE.exe", ReadBytes(DemoProgram("win64", "DEZAZAZE.exe")));
    ExpectRefused(PackDefault(), {"x86-64 program", 2,
                                  "in/DEZAZAZE.exe: an x86-64 program, but the stub is an i386 one: on 32-bit Windows"});

    // The x86-64 stub's systems run both.
    WriteBytes(Stub(), ReadBytes(std::string(MORLU_SOURCE_DIR) + "/build/win64/setup-stub.exe"));
    RunResult both = PackDefault();
    EXPECT_EQ(both.exitCode, 0) << both.err;
    EXPECT_EQ(both.err, "");
}

TEST_F(PublisherMistake, AProgramTheShortcutsCannotStart)
{
    WriteBytes(In() + "/Morlu.exe", ReadBytes(DemoProgram("win64", "Morlu.exe")));
    RunResult run = PackDefault();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("morlu-pack: warning: " + In() + "/Morlu.exe: an x86-64 program, but the stub is an i386 "
                           "one: on 32-bit Windows"),
              std::string::npos)
        << run.err;
    Bytes dos = BytesOf("MZ");
    dos.resize(512);
    WriteBytes(In() + "/Morlu.exe", dos);
    run = PackDefault();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("Morlu.exe: an MS-DOS or 16-bit Windows program"), std::string::npos) << run.err;
}

// A link that leads out of the product folder would publish what it finds;
// named as a PATH it is packed on purpose, and links inside are followed.
TEST_F(PublisherMistake, ALinkOutOfTheProductFolder)
{
    WriteBytes(Path("secret.txt"), BytesOf("host name"));
    ASSERT_EQ(symlink(Path("secret.txt").c_str(), (In() + "/outside.txt").c_str()), 0);
    ASSERT_EQ(symlink("Morlu.txt", (In() + "/inside.txt").c_str()), 0);
    ExpectRefused(PackDefault(), {"link outside", 2, "in/outside.txt: a link to "});
    const std::string outside = "secret.txt, outside " + In() + ", whose bytes would go into the installer: name it "
                                "as a PATH to pack it on purpose, or leave it out with --exclude 'outside.txt'";
    ExpectRefused(PackDefault(), {"link outside", 2, outside.c_str()});

    RunResult run = PackDefault({}, {In(), In() + "/outside.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    mkdir(Path("x").c_str(), 0755);
    ASSERT_EQ(RunProgram({MorluPack(), "extract", Out(), "-C", Path("x")}).exitCode, 0);
    EXPECT_TRUE(ReadBytes(Path("x/outside.txt")) == BytesOf("host name"));
    EXPECT_TRUE(ReadBytes(Path("x/inside.txt")) == Notes());
    EXPECT_EQ(PackDefault({"--exclude", "outside.txt"}).exitCode, 0);
}

// A sibling folder whose name starts with the product folder's is outside it.
TEST_F(PublisherMistake, ALinkIntoASiblingFolderOfALongerName)
{
    ASSERT_EQ(mkdir(Path("in-old").c_str(), 0755), 0);
    WriteBytes(Path("in-old/secret.txt"), BytesOf("old"));
    ASSERT_EQ(symlink(Path("in-old/secret.txt").c_str(), (In() + "/old.txt").c_str()), 0);
    ExpectRefused(PackDefault(), {"link into in-old", 2, "in/old.txt: a link to "});
}

// Each file an editor or a system left behind is named with the exclude that
// leaves it out; given those, the build is clean.
TEST_F(PublisherMistake, FilesLeftBehindInTheProductFolder)
{
    const std::vector<std::string> junk = {".DS_Store", "._Morlu.exe", "Thumbs.db", "ehthumbs.db", "DESKTOP.INI",
                                           "data.bin~", "#notes.txt#", "old.bak", "notes.swp", ".env", ".a[1]"};
    for (const std::string& name : junk)
        WriteBytes(In() + "/" + name, BytesOf(name));
    RunResult run = PackDefault();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> excludes;
    for (const std::string& name : junk) {
        size_t at = run.err.find("morlu-pack: warning: " + In() + "/" + name + ": ");
        ASSERT_NE(at, std::string::npos) << name << " drew no warning:\n" << run.err;
        size_t option = run.err.find("--exclude '", at), end = run.err.find("' leaves it out\n", option);
        ASSERT_LT(end, run.err.find('\n', at) + 1) << name;
        excludes.push_back("--exclude=" + run.err.substr(option + 11, end - option - 11));
    }
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), (long)junk.size()) << run.err;

    run = PackDefault(excludes);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "") << "each exclude leaves its file out";
    EXPECT_NE(run.out.find("5 members"), std::string::npos) << run.out;
}

// An installer written into the folder it packs is left out the next time,
// and said so once; any other file there is still never replaced.
TEST_F(PublisherMistake, AnOutputInsideTheProductFolder)
{
    const std::string output = In() + "/setup.exe";
    for (int build = 0; build < 2; ++build) {
        RunResult run = Pack({"--stub", Stub(), "--version", "1", "-o", output});
        ASSERT_EQ(run.exitCode, 0) << build << ": " << run.err;
        EXPECT_NE(run.out.find("5 members"), std::string::npos) << build << ": " << run.out;
        EXPECT_EQ(run.err, build == 0 ? "" : "morlu-pack: warning: " + output +
                                                 ": the output, an installer of an earlier build, left out of the "
                                                 "files packed\n");
    }
    EXPECT_EQ(RunProgram({MorluPack(), "test", output}).exitCode, 0);
    RunResult notes = Pack({"--stub", Stub(), "--version", "1", "-o", In() + "/Morlu.txt"});
    EXPECT_EQ(notes.exitCode, 1) << notes.err;
    EXPECT_NE(notes.err.find("is the input " + In() + "/Morlu.txt; the installer would replace it"),
              std::string::npos)
        << notes.err;
    EXPECT_TRUE(ReadBytes(In() + "/Morlu.txt") == Notes());
}

// A message whose OK and Cancel would lie below a 1024x768 screen's edge.
TEST_F(PublisherMistake, AMessageTooLongForTheScreen)
{
    std::string text;
    for (int line = 1; line <= 200; ++line)
        text += line == 7 ? "ライセンス条項をよくお読みください。同意される場合のみ「OK」を押してください。\n"
                          : "第" + std::to_string(line) + "条\n";
    WriteBytes(Path("license.txt"), BytesOf(text));
    RunResult run = PackDefault({"--message", Path("license.txt")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("morlu-pack: warning: " + Path("license.txt") + ": the message is 200 lines, the widest "
                           "(line 7) 78 columns"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(RunProgram({MorluPack(), "test", Out()}).exitCode, 0);
}

// Any key Windows shows, as other tools take it; a PNG for an icon is told how
// to become one.
TEST_F(PublisherMistake, VersionKeysOfItsOwnAndAPngIcon)
{
    if (!HaveTools({"wrestool"}))
        return;
    RunResult run = PackDefault({"--version-info", "Build Host=ci-7", "--version-info", "productversion=2.0"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    RunResult version = RunProgram({"wrestool", "-x", "--raw", "--type=16", Out()});
    ASSERT_EQ(version.exitCode, 0) << version.err;
    for (const char* text : {"Build Host", "ci-7", "ProductVersion"}) {
        std::string utf16;
        for (const char* c = text; *c != '\0'; ++c)
            utf16 += std::string(1, *c) + '\0';
        EXPECT_NE(version.out.find(utf16), std::string::npos) << text;
    }
    unlink(Out().c_str());

    Bytes png = BytesOf("\x89PNG\r\n\x1a\n");
    png.resize(200);
    WriteBytes(Path("setup.png"), png);
    ExpectRefused(PackDefault({"--icon", Path("setup.png")}),
                  {"PNG icon", 2, "setup.png: a PNG image, not an icon file (.ico): make one of it, such as with "
                                  "icotool -c -o setup.ico"});
}

// Each cause the manual's EXIT STATUS names ends with its status.
TEST_F(PublisherMistake, ExitStatusesAsTheManualTellsThem)
{
    Bytes page = ReadBytes(std::string(MORLU_BUILD_DIR) + "/packer/morlu-pack.1");
    std::string manual(page.begin(), page.end());
    size_t section = manual.find(".SH EXIT STATUS\n");
    ASSERT_NE(section, std::string::npos);
    // Each status's text, without the markup: ".B 2" to the next ".TP".
    std::vector<std::string> told(4);
    for (int status = 0; status < 4; ++status) {
        size_t at = manual.find(".TP\n.B " + std::to_string(status) + "\n", section);
        ASSERT_NE(at, std::string::npos) << status;
        std::string raw = manual.substr(at + 8, manual.find(".TP\n", at + 4) - at - 8);
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '.' && (i == 0 || raw[i - 1] == '\n'))
                i = raw.find(' ', i);
            else if (raw.compare(i, 2, "\\-") == 0)
                told[status] += '-', ++i;
            else
                told[status] += raw[i] == '\n' ? ' ' : raw[i];
        }
    }

    mkdir(Path("text").c_str(), 0755);
    WriteBytes(Path("text/DEZAZAZE.exe"), BytesOf("hello\n"));
    mkdir(Path("linked").c_str(), 0755);
    ASSERT_EQ(symlink("/etc/hostname", Path("linked/hostname").c_str()), 0);
    WriteBytes(Path("snow\xe2\x98\x83.txt"), BytesOf("x"));
    Bytes png = BytesOf("\x89PNG\r\n\x1a\n");
    png.resize(100);
    WriteBytes(Path("icon.png"), png);
    WriteBytes(Path("huge.txt"), Bytes((1 << 20) + 1, 'a'));
    WriteBytes(Path("empty.exe"), {});
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0644), 0);
    const std::string inner = In() + "/DEZAZAZE.exe";
    const struct {
        int status;
        const char* cause; // as the manual words it
        std::function<RunResult()> run;
    } cases[] = {
        {0, "also with warnings", [&] { return PackDefault({}, {inner}); }},
        {1, "an unknown command or option", [&] { return RunProgram({MorluPack(), "pack", Out()}); }},
        {1, "with a value it does not take", [&] { return PackDefault({"--execution-level", "root"}); }},
        {1, "a version text longer than 15 bytes",
         [&] { return PackDefault({"--version", "1.10 release candidate"}); }},
        {1, "SOURCE_DATE_EPOCH set to anything but a whole number",
         [&] { return RunProgram({"env", "SOURCE_DATE_EPOCH=now", MorluPack(), "build", "--stub", Stub(), "--version",
                                  "1", "-o", Out(), In()}); }},
        {1, "an output that would replace an input", [&] { return PackDefault({"-o", inner}); }},
        {2, "a damaged archive or container",
         [&] {
             Bytes setup = ReadBytes(Out());
             setup.resize(setup.size() - 2);
             WriteBytes(Path("cut.exe"), setup);
             return RunProgram({MorluPack(), "test", Path("cut.exe")});
         }},
        {2, "a file that is neither an installer nor an LHA archive",
         [&] { return RunProgram({MorluPack(), "list", Path("empty.exe")}); }},
        {2, "a name it cannot create", [&] { return PackDefault({}, {inner, Path("snow\xe2\x98\x83.txt")}); }},
        {2, "a link out of a folder", [&] { return PackDefault({}, {inner, Path("linked")}); }},
        {2, "no program the stub's systems run", [&] { return PackDefault({}, {Path("text")}); }},
        {2, "an icon that is no icon file", [&] { return PackDefault({"--icon", Path("icon.png")}); }},
        {2, "a size over a limit (a member, the whole installer, the message",
         [&] { return PackDefault({"--message", Path("huge.txt")}); }},
        {3, "a file cannot be read", [&] { return PackDefault({}, {inner, Path("missing.txt")}); }},
        {3, "is no regular file", [&] { return PackDefault({"--message", Path("fifo")}); }},
    };
    for (const auto& c : cases) {
        EXPECT_NE(told[c.status].find(c.cause), std::string::npos)
            << "the manual does not give " << c.status << " for: " << c.cause << "\n" << told[c.status];
        RunResult run = c.run();
        EXPECT_EQ(run.exitCode, c.status) << c.cause << ": " << run.err;
    }
}

} // namespace
