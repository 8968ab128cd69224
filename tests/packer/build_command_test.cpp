// morlu-pack build as users run it: real files, the real program, and the
// other subcommands and the container scan reading what it made.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>

#include "container/payload_container.h"
#include "pack_test_support.h"

namespace {

class Build : public ::testing::Test {
protected:
    void SetUp() override
    {
        chmod(temp_.Path().c_str(), 0777); // for the run as another user
        mkdir(In().c_str(), 0755);
        WriteBytes(In() + "/DEZAZAZE.exe", BinaryBytes(300000, 1));
        WriteBytes(In() + "/Morlu.txt", TextBytes(50000, 2));
        WriteBytes(In() + "/empty.dat", {});
        WriteBytes(In() + "/noise.bin", RandomBytes(20000, 3));
        WriteBytes(In() + "/設定.ini", TextBytes(100, 4));
        std::string shipping = ShippingStub();
        WriteBytes(Stub(), shipping.empty() ? FakeStub(20000) : ReadBytes(shipping));
    }

    std::string In() const { return temp_ / "in"; }
    std::string Stub() const { return temp_ / "stub.exe"; }
    std::string Out() const { return temp_ / "setup.exe"; }
    std::string Path(const std::string& name) const { return temp_ / name; }

    RunResult Pack(std::vector<std::string> extra, std::vector<std::string> paths = {})
    {
        std::vector<std::string> argv = {MorluPack(), "build"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        if (paths.empty())
            paths.push_back(In());
        argv.insert(argv.end(), paths.begin(), paths.end());
        return RunProgram(argv);
    }

    RunResult PackDefault(std::vector<std::string> extra = {}, std::vector<std::string> paths = {})
    {
        std::vector<std::string> args = {"--stub", Stub(), "--version", "1.10", "-o", Out()};
        args.insert(args.end(), extra.begin(), extra.end());
        return Pack(args, paths);
    }

    TempDir temp_;
};

TEST_F(Build, MakesAnInstallerThatTheScanListTestAndExtractAccept)
{
    RunResult run = PackDefault();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "") << "no progress bar when standard error is no terminal";
    EXPECT_NE(run.out.find("5 members"), std::string::npos) << run.out;

    Bytes image = ReadBytes(Out());
    uint32_t header;
    ASSERT_EQ(ScanContainer(image.data(), (uint32_t)image.size(), &header), PAYLOAD_OK);
    EXPECT_EQ(std::string((const char*)&image[header]), "1.10");
    EXPECT_EQ(ReadLe32(&image[header + offsetof(PayloadHeader, memberCount)]), 5);
    EXPECT_EQ(ReadLe32(&image[header + offsetof(PayloadHeader, messageOffset)]), 0);
    Bytes stub = ReadBytes(Stub());
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), image.begin()));

    RunResult list = RunProgram({MorluPack(), "list", Out()});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    for (const char* name : {"DEZAZAZE.exe", "Morlu.txt", "empty.dat", "noise.bin", "設定.ini"})
        EXPECT_NE(list.out.find(name), std::string::npos) << name << " missing from\n" << list.out;
    EXPECT_NE(list.out.find("-lh5-"), std::string::npos);
    EXPECT_NE(list.out.find("-lh0-"), std::string::npos) << "noise and the empty file are stored";

    RunResult test = RunProgram({MorluPack(), "test", Out()});
    EXPECT_EQ(test.exitCode, 0) << test.err;
    EXPECT_NE(test.out.find("5 members OK"), std::string::npos) << test.out;

    mkdir(Path("x").c_str(), 0755);
    RunResult extract = RunProgram({MorluPack(), "extract", Out(), "-C", Path("x")});
    EXPECT_EQ(extract.exitCode, 0) << extract.err;
    for (const std::string& name : Listing(In()))
        EXPECT_TRUE(ReadBytes(Path("x/" + name)) == ReadBytes(In() + "/" + name)) << name;

    EXPECT_EQ(Listing(temp_.Path()), (std::vector<std::string>{"in", "setup.exe", "stub.exe", "x"}))
        << "no temporary file stays behind";
}

TEST_F(Build, StoresEveryMemberWithMethodLh0)
{
    RunResult run = PackDefault({"--method", "lh0", "--quiet"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "") << "--quiet prints no summary";
    RunResult list = RunProgram({MorluPack(), "list", Out()});
    EXPECT_EQ(list.out.find("-lh5-"), std::string::npos) << list.out;
    EXPECT_EQ(RunProgram({MorluPack(), "test", Out()}).exitCode, 0);
}

TEST_F(Build, BestMakesASmallerInstallerThatStillTestsClean)
{
    auto archiveSize = [](const RunResult& run) {
        size_t at = run.out.find("archive of ");
        return at == std::string::npos ? 0 : std::stoul(run.out.substr(at + 11));
    };
    RunResult usual = PackDefault();
    ASSERT_EQ(usual.exitCode, 0) << usual.err;
    RunResult best = PackDefault({"--best"});
    ASSERT_EQ(best.exitCode, 0) << best.err;
    EXPECT_LT(archiveSize(best), archiveSize(usual)) << usual.out << best.out;
    RunResult test = RunProgram({MorluPack(), "test", Out()});
    EXPECT_EQ(test.exitCode, 0) << test.err;
    EXPECT_NE(test.out.find("5 members OK"), std::string::npos) << test.out;
}

TEST_F(Build, CarriesTheConfirmationMessageInCodePage932)
{
    WriteBytes(Path("message.txt"), BytesOf("\xEF\xBB\xBFインストールしますか?\nﾊﾞｰｼﾞｮﾝ 1.10"));
    RunResult run = PackDefault({"--message=" + Path("message.txt"), "--version=ﾊﾞｰｼﾞｮﾝ1"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Bytes image = ReadBytes(Out());
    uint32_t header;
    ASSERT_EQ(ScanContainer(image.data(), (uint32_t)image.size(), &header), PAYLOAD_OK);
    EXPECT_EQ(std::string((const char*)&image[header]), "\xca\xde\xb0\xbc\xde\xae\xdd\x31");
    int32_t message = ReadLe32(&image[header + offsetof(PayloadHeader, messageOffset)]);
    int32_t archiveSize = ReadLe32(&image[header + offsetof(PayloadHeader, archiveSize)]);
    ASSERT_GT(message, 0);
    EXPECT_NE(run.out.find("archive of " + std::to_string(archiveSize) + " "), std::string::npos)
        << "the summary counts the archive alone: " << run.out;
    EXPECT_EQ(std::string((const char*)&image[header + message]),
              "\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x8b\x82\xb5\x82\xdc\x82\xb7\x82\xa9?\n"
              "\xca\xde\xb0\xbc\xde\xae\xdd 1.10")
        << "converted, without the byte order mark, and NUL-terminated";
}

TEST_F(Build, ReplacesAnExistingOutputOnlyWhenComplete)
{
    WriteBytes(Out(), BytesOf("previous installer"));
    ASSERT_EQ(PackDefault().exitCode, 0);
    Bytes built = ReadBytes(Out());
    EXPECT_GT(built.size(), 1000u);
    struct stat status;
    ASSERT_EQ(stat(Out().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0444, 0444u) << "readable like any file made under the usual umask";

    WriteBytes(In() + "/snow\xe2\x98\x83.txt", Bytes{1});
    EXPECT_NE(PackDefault().exitCode, 0);
    EXPECT_TRUE(ReadBytes(Out()) == built) << "a failed build left the earlier output alone";
}

struct BadInput {
    const char* what;
    int exitCode;
    const char* message; // part of what standard error must say
};

class BuildRefuses : public Build {
protected:
    void ExpectRefused(const RunResult& run, const BadInput& bad)
    {
        EXPECT_EQ(run.exitCode, bad.exitCode) << bad.what << ": " << run.err;
        EXPECT_NE(run.err.find(bad.message), std::string::npos) << bad.what << ": " << run.err;
        EXPECT_EQ(run.err.find("morlu-pack: "), 0u) << bad.what << ": " << run.err;
        EXPECT_FALSE(Exists(Out())) << bad.what;
        std::vector<std::string> listing = Listing(temp_.Path());
        for (const std::string& name : listing)
            EXPECT_EQ(name.find(".setup.exe."), std::string::npos) << bad.what << ": temporary " << name << " left";
    }
};

TEST_F(BuildRefuses, MissingFiles)
{
    ExpectRefused(PackDefault({}, {Path("nothing.txt")}), {"missing input", 3, "nothing.txt: No such file"});
    ExpectRefused(Pack({"--stub", Path("none.exe"), "--version", "1", "-o", Out()}),
                  {"missing stub", 3, "none.exe: No such file"});
    ExpectRefused(PackDefault({"--message", Path("none.txt")}), {"missing message", 3, "none.txt: No such file"});
}

TEST_F(BuildRefuses, UnreadableFiles)
{
    chmod((In() + "/Morlu.txt").c_str(), 0);
    std::vector<std::string> argv = {MorluPack(), "build", "--stub", Stub(), "--version", "1", "-o", Out(), In()};
    if (geteuid() == 0) // root reads anything: run as nobody instead
        argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
    ExpectRefused(RunProgram(argv), {"unreadable input", 3, "Morlu.txt: Permission denied"});
}

TEST_F(BuildRefuses, NamesWithoutACodePage932Form)
{
    WriteBytes(In() + "/snow\xe2\x98\x83.txt", Bytes{1});
    ExpectRefused(PackDefault(), {"snowman", 2, "no CP932 form"});
}

TEST_F(BuildRefuses, NamesTooLongForTheHeaderOrNotForWindows)
{
    WriteBytes(In() + "/" + std::string(78, 'n'), Bytes{1});
    ExpectRefused(PackDefault(), {"78-byte name", 2, "at most 77"});
    unlink((In() + "/" + std::string(78, 'n')).c_str());
    WriteBytes(In() + "/con.txt", Bytes{1});
    ExpectRefused(PackDefault(), {"device name", 2, "reserved"});
}

TEST_F(BuildRefuses, VersionTextsOverFifteenBytes)
{
    ExpectRefused(Pack({"--stub", Stub(), "--version", "1234567890123456", "-o", Out()}),
                  {"16 ASCII bytes", 1, "at most 15"});
    ExpectRefused(Pack({"--stub", Stub(), "--version", "バージョン１２３", "-o", Out()}),
                  {"8 double-byte characters", 1, "16 bytes in CP932"});
    ExpectRefused(Pack({"--stub", Stub(), "--version", "v\xe2\x98\x83", "-o", Out()}),
                  {"version without CP932 form", 1, "no CP932 form"});
}

TEST_F(BuildRefuses, AStubThatAlreadyCarriesAContainer)
{
    ASSERT_EQ(PackDefault().exitCode, 0);
    rename(Out().c_str(), Path("built.exe").c_str());
    ExpectRefused(Pack({"--stub", Path("built.exe"), "--version", "1", "-o", Out()}),
                  {"stub with container", 2, "already carries a payload container"});
    WriteBytes(Path("text.exe"), BytesOf("plain text"));
    ExpectRefused(Pack({"--stub", Path("text.exe"), "--version", "1", "-o", Out()}),
                  {"stub without MZ", 2, "not a Windows program"});
}

TEST_F(BuildRefuses, AnOutputInAMissingFolder)
{
    RunResult run = Pack({"--stub", Stub(), "--version", "1", "-o", Path("missing/setup.exe")});
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_NE(run.err.find("missing"), std::string::npos) << run.err;
    EXPECT_FALSE(Exists(Path("missing")));
}

TEST_F(BuildRefuses, SubfoldersAndCaseTwins)
{
    mkdir((In() + "/sub").c_str(), 0755);
    ExpectRefused(PackDefault(), {"subfolder", 2, "subfolder"});
    rmdir((In() + "/sub").c_str());
    WriteBytes(In() + "/MORLU.TXT", Bytes{1});
    ExpectRefused(PackDefault(), {"case twin", 2, "ignores case"});
}

TEST_F(BuildRefuses, MessagesItCannotCarry)
{
    WriteBytes(Path("nul.txt"), Bytes{'a', 0, 'b'});
    ExpectRefused(PackDefault({"--message", Path("nul.txt")}), {"NUL in message", 2, "NUL"});
    WriteBytes(Path("snow.txt"), BytesOf("\xe2\x98\x83"));
    ExpectRefused(PackDefault({"--message", Path("snow.txt")}), {"message without CP932", 2, "no CP932 form"});
    WriteBytes(Path("blank.txt"), {});
    ExpectRefused(PackDefault({"--message", Path("blank.txt")}), {"empty message", 2, "empty"});
}

TEST_F(BuildRefuses, AnOutputThatWouldReplaceAnInput)
{
    RunResult run = Pack({"--stub", Stub(), "--version", "1", "-o", Stub()});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("is the stub"), std::string::npos) << run.err;
    RunResult input = Pack({"--stub", Stub(), "--version", "1", "-o", In() + "/Morlu.txt"});
    EXPECT_EQ(input.exitCode, 1) << input.err;
    EXPECT_TRUE(ReadBytes(In() + "/Morlu.txt") == TextBytes(50000, 2));
}

// No file named on the command line is ever written, and none that would
// block a read or change under it is read.
TEST_F(BuildRefuses, InputsItMustNotTouchOrCannotTrust)
{
    WriteBytes(Path("msg.txt"), BytesOf("続けますか?"));
    ExpectRefused(PackDefault({"--message", Path("msg.txt"), "-o", Path("msg.txt")}), {"message as output", 1, "is the message file"});
    EXPECT_TRUE(ReadBytes(Path("msg.txt")) == BytesOf("続けますか?"));

    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0644), 0);
    ExpectRefused(PackDefault({"--message", Path("fifo")}), {"FIFO message", 3, "not a regular file"});
    ExpectRefused(Pack({"--stub", Path("fifo"), "--version", "1", "-o", Out()}), {"FIFO stub", 3, "not a regular file"});

    // One byte past the most a member holds, told before anything is read.
    WriteBytes(In() + "/huge.bin", {});
    ASSERT_EQ(truncate((In() + "/huge.bin").c_str(), 4294967295LL), 0);
    ExpectRefused(PackDefault(), {"4 GiB less one", 2, "4,294,967,295 bytes; a member holds at most 4,294,967,294"});
}

// A hang-up ends a build and takes its temporary file along, unless the build
// was started to ignore it (nohup).
TEST_F(Build, AnIgnoredHangUpIsStillIgnored)
{
    WriteBytes(In() + "/large.bin", RandomBytes(24 << 20, 8));
    // The hang-up comes once the temporary file is there, while the members are packed.
    std::string command = "'" + MorluPack() + "' build --quiet --stub '" + Stub() + "' --version 1 -o '" + Out() +
                          "' '" + In() + "' & until ls '" + temp_.Path() + "'/.setup.exe.* >/dev/null 2>&1; do " +
                          "sleep 0.02; done; kill -HUP $!; wait $!";
    RunResult ignored = RunProgram({"sh", "-c", "trap '' HUP; " + command});
    EXPECT_EQ(ignored.exitCode, 0) << ignored.err;
    EXPECT_TRUE(Exists(Out()));

    unlink(Out().c_str());
    RunResult hungUp = RunProgram({"sh", "-c", command});
    EXPECT_EQ(hungUp.exitCode, 128 + SIGHUP) << hungUp.err;
    EXPECT_FALSE(Exists(Out()));
    for (const std::string& name : Listing(temp_.Path()))
        EXPECT_EQ(name.find(".setup.exe."), std::string::npos) << "temporary " << name << " left";
}

TEST_F(BuildRefuses, BadCommandLines)
{
    const std::vector<std::vector<std::string>> lines = {
        {"--version", "1", "-o", "OUT"},                        // no stub
        {"--stub", "STUB", "-o", "OUT"},                        // no version
        {"--stub", "STUB", "--version", "1"},                   // no output
        {"--stub", "STUB", "--version", "1", "-o", "OUT", "--method", "lh7"},
        {"--stub", "STUB", "--version", "1", "-o", "OUT", "--fast"},
        {"--stub", "STUB", "--version", "1", "-o", "OUT", "--best", "--method", "lh0"},
        {"--stub", "STUB", "--version", "1", "-o"},
        {"--stub", "STUB", "--version", "1", "-o", "OUT", "--message", ""},
        {"--stub=", "--version", "1", "-o", "OUT"},
    };
    for (std::vector<std::string> line : lines) {
        for (std::string& arg : line) {
            if (arg == "STUB")
                arg = Stub();
            if (arg == "OUT")
                arg = Out();
        }
        ExpectRefused(Pack(line), {"command line", 1, "Usage: morlu-pack build"});
    }
    ExpectRefused(RunProgram({MorluPack(), "build", "--stub", Stub(), "--version", "1", "-o", Out()}),
                  {"no paths", 1, "no files given"});
}

TEST(BuildHelp, ListsTheCommandAndItsOptions)
{
    RunResult help = RunProgram({MorluPack(), "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("morlu-pack build --stub STUB.exe"), std::string::npos) << help.out;
    RunResult own = RunProgram({MorluPack(), "build", "--help"});
    EXPECT_EQ(own.exitCode, 0);
    for (const char* option : {"--stub", "--version", "--message", "--method", "--best", "--quiet", "-o"})
        EXPECT_NE(own.out.find(option), std::string::npos) << option;
}

TEST_F(Build, DrawsAProgressBarOnATerminalForLargeInputs)
{
    if (!HaveProgram("script"))
        GTEST_SKIP() << "script (util-linux) gives the terminal";
    WriteBytes(In() + "/large.bin", BinaryBytes(20 << 20, 7));
    std::string command = MorluPack() + " build --stub '" + Stub() + "' --version 1 -o '" + Out() + "' '" + In() + "'";
    RunResult shown = RunProgram({"script", "-qec", command, "/dev/null"});
    EXPECT_EQ(shown.exitCode, 0) << shown.out;
    EXPECT_NE(shown.out.find("packing ["), std::string::npos) << "no bar on the terminal";
    EXPECT_NE(shown.out.find("100%"), std::string::npos);

    RunResult quiet = RunProgram({"script", "-qec", command + " --quiet", "/dev/null"});
    EXPECT_EQ(quiet.exitCode, 0) << quiet.out;
    EXPECT_EQ(quiet.out.find("packing ["), std::string::npos) << "--quiet silences the bar";
}

} // namespace
