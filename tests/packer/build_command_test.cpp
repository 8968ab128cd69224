// morlu-pack build as users run it: real files, the real program, and the
// other subcommands and the container scan reading what it made.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>

#include "build_fixture.h"
#include "bytes/little_endian.h"
#include "container/payload_container.h"
#include "packer/system/cp932_text.h"

namespace {

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
    EXPECT_EQ((int32_t)LoadLe32(&image[header + offsetof(PayloadHeader, memberCount)]), 5);
    EXPECT_EQ((int32_t)LoadLe32(&image[header + offsetof(PayloadHeader, messageOffset)]), 0);
    Bytes stub = ReadBytes(Stub());
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), image.begin()));

    RunResult list = RunProgram({MorluPack(), "list", Out()});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    for (const char* name : {"DEZAZAZE.exe", "Morlu.txt", "empty.dat", "Morlu.exe", "設定.ini"})
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
    int32_t message = (int32_t)LoadLe32(&image[header + offsetof(PayloadHeader, messageOffset)]);
    int32_t archiveSize = (int32_t)LoadLe32(&image[header + offsetof(PayloadHeader, archiveSize)]);
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
    EXPECT_TRUE(ReadBytes(In() + "/Morlu.txt") == Notes());
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

// Stored members make the installer's size known before any is packed: one
// byte over 1 GiB is refused at once, naming the size and the limit.
TEST_F(BuildRefuses, AnInstallerOverOneGiB)
{
    const uint64_t limit = 1u << 30;
    const uint64_t stub = ReadBytes(Stub()).size();
    const uint64_t inner = ReadBytes(In() + "/DEZAZAZE.exe").size();
    // The stub padded to 256 bytes, magic run and header; two member headers
    // with their names; the end mark.
    const uint64_t around = (stub + 255) / 256 * 256 + 24 + 32 + (27 + 12 + inner) + (27 + 7) + 1;
    WriteBytes(Path("big.bin"), {});
    ASSERT_EQ(truncate(Path("big.bin").c_str(), (off_t)(limit + 1 - around)), 0);
    ExpectRefused(PackDefault({"--method", "lh0"}, {In() + "/DEZAZAZE.exe", Path("big.bin")}),
                  {"1 GiB and a byte", 2,
                   "setup.exe: the installer would be 1,073,741,825 bytes; it may be at most 1,073,741,824 bytes (1 GiB)"});
}

// A hang-up ends a build and takes its temporary file along, unless the build
// was started to ignore it (nohup).
TEST_F(Build, AnIgnoredHangUpIsStillIgnored)
{
    WriteBytes(In() + "/large.bin", RandomBytes(24 << 20, 8));
    // The hang-up comes once the temporary file is there, while the members are packed.
    std::string command = "'" + MorluPack() + "' build --quiet --stub '" + Stub() + "' --version 1 -o '" + Out() +
                          "' '" + In() + "' & while kill -0 $! 2>/dev/null && ! ls '" + temp_.Path() +
                          "'/.setup.exe.* >/dev/null 2>&1; do sleep 0.02; done; kill -HUP $!; wait $!";
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
    EXPECT_NE(help.out.find("morlu-pack build [OPTION]... -o SETUP.exe PATH..."), std::string::npos) << help.out;
    RunResult own = RunProgram({MorluPack(), "build", "--help"});
    EXPECT_EQ(own.exitCode, 0);
    for (const char* option : {"--stub", "--version", "--message", "--message-encoding", "--notes-encoding", "--icon",
                               "--version-info", "--exclude", "--method", "--best", "--jobs", "-q, --quiet",
                               "-o, --output", "-h, --help", "SOURCE_DATE_EPOCH", "Japan Standard Time", "DEZAZAZE.exe"})
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

// The product as the installer will use it, checked before anything is written.
TEST_F(BuildRefuses, AProductWithoutItsInnerInstaller)
{
    unlink((In() + "/DEZAZAZE.exe").c_str());
    ExpectRefused(PackDefault(), {"no DEZAZAZE.exe", 2, "no DEZAZAZE.exe among the files to pack"});
}

TEST_F(Build, WarnsOfWhatTheInstallerWillNotDo)
{
    // Windows finds the inner installer whatever the case of its name.
    rename((In() + "/DEZAZAZE.exe").c_str(), (In() + "/dezazaze.EXE").c_str());
    unlink((In() + "/Morlu.exe").c_str());
    unlink((In() + "/Morlu.txt").c_str());
    RunResult run = PackDefault();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("morlu-pack: warning: no Morlu.exe among the files"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("morlu-pack: warning: no Morlu.txt among the files"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("release notes"), std::string::npos) << run.err;

    WriteBytes(In() + "/morlu.EXE", ReadBytes(DemoProgram("win32", "Morlu.exe")));
    WriteBytes(In() + "/Morlu.txt", Notes());
    run = PackDefault();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
}

TEST_F(BuildRefuses, ReleaseNotesThatNotepadWouldShowGarbled)
{
    WriteBytes(In() + "/Morlu.txt", TextBytes(50000, 2));
    ExpectRefused(PackDefault(), {"UTF-8 notes", 2, "Morlu.txt: release notes are UTF-8"});
    ExpectRefused(PackDefault(), {"UTF-8 notes", 2, "--notes-encoding utf-8"});
    WriteBytes(In() + "/Morlu.txt", BytesOf("\xEF\xBB\xBFplain words"));
    ExpectRefused(PackDefault(), {"notes with a byte order mark", 2, "are UTF-8"});
    WriteBytes(In() + "/Morlu.txt", BytesOf("good line\nbad \x85\x40 pair\n"));
    ExpectRefused(PackDefault(), {"notes of no encoding", 2, "are not CP932 (Shift_JIS) text: line 2: bytes 0x85 0x40"});
    ExpectRefused(PackDefault({"--notes-encoding", "latin1"}), {"unknown encoding", 1, "--notes-encoding takes"});
}

TEST_F(Build, ConvertsUtf8ReleaseNotesWhenAsked)
{
    WriteBytes(In() + "/Morlu.txt", BytesOf("\xEF\xBB\xBFリリースノート\nline two\r\nend"));
    RunResult run = PackDefault({"--notes-encoding=utf-8"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    mkdir(Path("x").c_str(), 0755);
    ASSERT_EQ(RunProgram({MorluPack(), "extract", Out(), "-C", Path("x")}).exitCode, 0);
    EXPECT_TRUE(ReadBytes(Path("x/Morlu.txt")) == BytesOf(Cp932FromUtf8("リリースノート", "") + "\r\nline two\r\nend"))
        << "CP932 with CR LF line ends, no byte order mark";
    EXPECT_EQ(RunProgram({MorluPack(), "test", Out()}).exitCode, 0);
}

// One message three ways; the installer carries the same CP932 bytes for each.
TEST_F(Build, TakesMessagesInUtf8AndCodePage932Alike)
{
    const std::string text = "インストールしますか?\n〜 ﾊﾞｰｼﾞｮﾝ 1.10";
    const std::string cp932 = Cp932FromUtf8(text, "");
    WriteBytes(Path("utf8.txt"), BytesOf(text));
    WriteBytes(Path("bom.txt"), BytesOf("\xEF\xBB\xBF" + text));
    WriteBytes(Path("sjis.txt"), BytesOf(cp932));
    for (std::vector<std::string> options : std::vector<std::vector<std::string>>{
             {"--message", Path("utf8.txt")},
             {"--message", Path("bom.txt")},
             {"--message", Path("sjis.txt")},
             {"--message", Path("sjis.txt"), "--message-encoding", "cp932"},
             {"--message", Path("utf8.txt"), "--message-encoding=UTF-8"}}) {
        RunResult run = PackDefault(options);
        ASSERT_EQ(run.exitCode, 0) << options[1] << ": " << run.err;
        Bytes image = ReadBytes(Out());
        uint32_t header;
        ASSERT_EQ(ScanContainer(image.data(), (uint32_t)image.size(), &header), PAYLOAD_OK);
        int32_t message = (int32_t)LoadLe32(&image[header + offsetof(PayloadHeader, messageOffset)]);
        EXPECT_EQ(std::string((const char*)&image[header + message]), cp932) << options[1];
    }
}

TEST_F(BuildRefuses, MessagesNamingWhatTheInstallerCannotShow)
{
    WriteBytes(Path("snow.txt"), BytesOf("first line\nsnow ☃ here"));
    ExpectRefused(PackDefault({"--message", Path("snow.txt")}),
                  {"snowman", 2, "snow.txt: message text: line 2: '☃' (U+2603) has no CP932 form"});
    WriteBytes(Path("utf16.txt"), Bytes{0xFF, 0xFE, 'a', 0});
    ExpectRefused(PackDefault({"--message", Path("utf16.txt")}), {"UTF-16", 2, "is UTF-16"});
    WriteBytes(Path("sjis.txt"), BytesOf(Cp932FromUtf8("インストール\n", "")));
    ExpectRefused(PackDefault({"--message", Path("sjis.txt"), "--message-encoding", "utf-8"}),
                  {"CP932 read as UTF-8", 2, "sjis.txt: message text: line 1: byte 0x83 is not UTF-8"});
    WriteBytes(Path("broken.txt"), BytesOf("ok\n\x80\x80"));
    ExpectRefused(PackDefault({"--message", Path("broken.txt")}), {"neither", 2, "is neither UTF-8 (line 2: byte 0x80)"});
}

// Same inputs, same bytes: another machine lists the folder in another order,
// runs in another time zone on another number of threads, and has the files
// touched at another time; SOURCE_DATE_EPOCH takes the times out.
TEST_F(Build, SameBytesAcrossTimeZonesThreadsFolderOrderAndTouches)
{
    WriteBytes(In() + "/large.bin", BinaryBytes(3 << 20, 9));
    std::vector<std::string> names = Listing(In());
    std::string copy = Path("copy");
    mkdir(copy.c_str(), 0755);
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        WriteBytes(copy + "/" + *name, ReadBytes(In() + "/" + *name));
    ASSERT_EQ(RunProgram({"touch", "-d", "2030-01-01 12:00:00Z", In() + "/Morlu.txt"}).exitCode, 0);

    const std::string epoch = "SOURCE_DATE_EPOCH=1614888000"; // 2021-03-04 20:00:00 UTC
    auto build = [&](const std::string& zone, const std::string& jobs, const std::string& product,
                     const std::string& output, const std::string& env) {
        RunResult run = RunProgram({"env", "TZ=" + zone, env, MorluPack(), "build", "--quiet", "--stub", Stub(),
                                    "--version", "1.10", "--jobs", jobs, "-o", output, product});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return ReadBytes(output);
    };
    Bytes first = build("UTC", "1", In(), Path("a.exe"), epoch);
    Bytes second = build("Asia/Tokyo", "3", copy, Path("b.exe"), epoch);
    EXPECT_TRUE(first == second) << "touched copy, other order, other zone and threads";
    RunResult list = RunProgram({MorluPack(), "list", Path("a.exe")});
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 6) << list.out;
    size_t at = 0, stamps = 0;
    while ((at = list.out.find(" 2021-03-05 05:00:00 ", at + 1)) != std::string::npos)
        ++stamps;
    EXPECT_EQ(stamps, 6u) << "every member clamped, in Japan Standard Time:\n" << list.out;

    // Without it, the file times count, and still not the zone.
    EXPECT_TRUE(build("UTC", "2", In(), Path("c.exe"), "SOURCE_DATE_EPOCH=") ==
                build("America/New_York", "2", In(), Path("d.exe"), "LANG=C"));
    EXPECT_FALSE(ReadBytes(Path("c.exe")) == first);

    RunResult malformed = RunProgram({"env", "SOURCE_DATE_EPOCH=yesterday", MorluPack(), "build", "--stub", Stub(),
                                      "--version", "1", "-o", Out(), In()});
    EXPECT_EQ(malformed.exitCode, 1);
    EXPECT_NE(malformed.err.find("SOURCE_DATE_EPOCH must be a whole number"), std::string::npos) << malformed.err;
}

TEST_F(Build, ExcludesStrayFilesAndSubfoldersByName)
{
    WriteBytes(In() + "/.DS_Store", Bytes{1});
    WriteBytes(In() + "/Morlu.txt~", Bytes{2});
    mkdir((In() + "/old").c_str(), 0755);
    RunResult refused = PackDefault();
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("old: is a subfolder"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("--exclude 'old'"), std::string::npos) << refused.err;

    RunResult run = PackDefault({"--exclude", ".DS_Store", "--exclude=*~", "--exclude", "ol?"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    RunResult list = RunProgram({MorluPack(), "list", Out()});
    EXPECT_EQ(list.out.find("DS_Store"), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find("~"), std::string::npos) << list.out;
    EXPECT_NE(run.out.find("5 members"), std::string::npos) << run.out;
}

// A self-signed code-signing certificate in folder: cert.pem and key.pem.
void MakeCertificate(const std::string& folder)
{
    RunResult made = RunProgram({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                                 "/CN=Morlu2 Test Publisher", "-keyout", folder + "/key.pem", "-out", folder + "/cert.pem"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
}

RunResult Sign(const std::string& folder, const std::string& in, const std::string& out)
{
    return RunProgram({"osslsigncode", "sign", "-certs", folder + "/cert.pem", "-key", folder + "/key.pem", "-n",
                       "Morlu2", "-in", in, "-out", out});
}

// Two images of the demo's icons in one icon file.
Bytes TwoImageIcon()
{
    Bytes a = ReadBytes(std::string(MORLU_SOURCE_DIR) + "/tests/demo/product/morlu0.ico");
    Bytes b = ReadBytes(std::string(MORLU_SOURCE_DIR) + "/tests/demo/product/morlu1.ico");
    Bytes icon = {0, 0, 1, 0, 2, 0};
    uint32_t offset = 6 + 32;
    for (const Bytes* file : {&a, &b}) {
        Bytes entry(file->begin() + 6, file->begin() + 22);
        for (int k = 0; k < 4; ++k)
            entry[12 + k] = (uint8_t)(offset >> (8 * k));
        icon.insert(icon.end(), entry.begin(), entry.end());
        offset += (uint32_t)file->size() - 22;
    }
    icon.insert(icon.end(), a.begin() + 22, a.end());
    icon.insert(icon.end(), b.begin() + 22, b.end());
    return icon;
}

std::string Utf16(const std::string& utf8)
{
    std::string out;
    for (char16_t c : Utf16FromUtf8(utf8)) {
        out += (char)(c & 0xFF);
        out += (char)(c >> 8);
    }
    return out;
}

TEST_F(Build, BrandsTheInstallerSoThatWrestoolReadsItAndSigningKeepsItWhole)
{
    if (!HaveTools({"wrestool", "osslsigncode", "openssl"}))
        return;
    WriteBytes(Path("setup.ico"), TwoImageIcon());
    RunResult run = PackDefault({"--icon", Path("setup.ico"), "--version-info", "ProductName=モルル2",
                                 "--version-info", "fileversion=1.10.0.3", "--version-info=CompanyName=Morlu"});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    RunResult icon = RunProgram({"wrestool", "-x", "--type=14", Out()});
    ASSERT_EQ(icon.exitCode, 0) << icon.err;
    Bytes ico = TwoImageIcon();
    EXPECT_EQ(icon.out.compare(0, ico.size(), std::string(ico.begin(), ico.end())), 0)
        << "wrestool gives back the icon file";
    RunResult version = RunProgram({"wrestool", "-x", "--raw", "--type=16", Out()});
    ASSERT_EQ(version.exitCode, 0) << version.err;
    for (const char* text : {"ProductName", "モルル2", "FileVersion", "1.10.0.3", "CompanyName", "041104B0",
                             "Translation"})
        EXPECT_NE(version.out.find(Utf16(text)), std::string::npos) << text;
    size_t fixed = version.out.find("\xBD\x04\xEF\xFE");
    ASSERT_NE(fixed, std::string::npos);
    EXPECT_EQ(version.out.substr(fixed + 8, 8), std::string("\x0A\x00\x01\x00\x03\x00\x00\x00", 8)) << "1.10.0.3";
    EXPECT_EQ(RunProgram({MorluPack(), "test", Out()}).exitCode, 0);

    MakeCertificate(temp_.Path());
    RunResult signing = Sign(temp_.Path(), Out(), Path("signed.exe"));
    ASSERT_EQ(signing.exitCode, 0) << signing.out << signing.err;
    RunResult verify = RunProgram({"osslsigncode", "verify", "-CAfile", Path("cert.pem"), "-in", Path("signed.exe")});
    EXPECT_EQ(verify.exitCode, 0) << verify.out << verify.err;
    RunResult test = RunProgram({MorluPack(), "test", Path("signed.exe")});
    EXPECT_EQ(test.exitCode, 0) << test.err;
    EXPECT_NE(test.out.find("5 members OK"), std::string::npos) << test.out;
    mkdir(Path("x").c_str(), 0755);
    ASSERT_EQ(RunProgram({MorluPack(), "extract", Path("signed.exe"), "-C", Path("x")}).exitCode, 0);
    for (const std::string& name : Listing(In()))
        EXPECT_TRUE(ReadBytes(Path("x/" + name)) == ReadBytes(In() + "/" + name)) << name;
}

// The level the finished installer's manifest asks for, read back from the
// file as Windows would find it and held to the documented schema; without
// the option the stub's own, and the stub's bytes untouched.
TEST_F(Build, SetsTheExecutionLevelOfTheManifest)
{
    if (!HaveTools({"wrestool", "xmllint"}))
        return;
    const std::string check = std::string(MORLU_SOURCE_DIR) + "/tests/resources/check-manifest";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "highestAvailable"},
        {{"--execution-level", "asInvoker"}, "asInvoker"},
        {{"--execution-level=highestAvailable"}, "highestAvailable"},
        {{"--execution-level", "requireadministrator", "--version-info", "ProductName=Morlu2"}, "requireAdministrator"},
    };
    Bytes plain;
    for (const auto& c : cases) {
        RunResult run = PackDefault(c.first);
        ASSERT_EQ(run.exitCode, 0) << c.second << ": " << run.err;
        RunResult manifest = RunProgram({"wrestool", "-x", "--raw", "--type=24", "--name=1", Out()});
        ASSERT_EQ(manifest.exitCode, 0) << manifest.err;
        WriteBytes(Path("manifest.xml"), BytesOf(manifest.out));
        RunResult checked = RunProgram({"bash", check, Path("manifest.xml"), c.second});
        EXPECT_EQ(checked.exitCode, 0) << c.second << ": " << checked.err;
        EXPECT_EQ(RunProgram({MorluPack(), "test", Out()}).exitCode, 0) << c.second;
        if (c.first.empty()) {
            plain = ReadBytes(Out());
        } else if (c.second == "highestAvailable") {
            EXPECT_TRUE(ReadBytes(Out()) == plain) << "the stub's own level rewrites nothing";
        }
    }
    Bytes stub = ReadBytes(Stub());
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), plain.begin()));
    RunResult unknown = PackDefault({"--execution-level", "admin"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("--execution-level takes asInvoker, highestAvailable or requireAdministrator, not "
                               "'admin'"),
              std::string::npos)
        << unknown.err;
}

// Any program but our stub, or ours signed, would make an installer that
// fails or whose signature breaks; the stub's name tells nothing.
TEST_F(BuildRefuses, StubsThatAreNotOursOrAreSigned)
{
    rename(Stub().c_str(), Path("Morlu.exe").c_str());
    RunResult renamed = Pack({"--stub", Path("Morlu.exe"), "--version", "1", "-o", Out()});
    EXPECT_EQ(renamed.exitCode, 0) << renamed.err;
    unlink(Out().c_str());

    std::string program = std::string(MORLU_SOURCE_DIR) + "/build/win64/demo-product/Morlu.exe";
    ASSERT_TRUE(Exists(program)) << program << " is not built (scripts/build)";
    ExpectRefused(Pack({"--stub", program, "--version", "1", "-o", Out()}),
                  {"the product's own program", 2, "not a Morlu2 installer stub"});

    Bytes other = ReadBytes(Path("Morlu.exe"));
    std::string text(other.begin(), other.end());
    size_t marker = text.find("payload container 1");
    ASSERT_NE(marker, std::string::npos);
    other[marker + 18] = '2';
    WriteBytes(Path("other.exe"), other);
    ExpectRefused(Pack({"--stub", Path("other.exe"), "--version", "1", "-o", Out()}),
                  {"another container format", 2, "an installer stub for another payload container"});

    if (!HaveTools({"osslsigncode", "openssl"}))
        return;
    MakeCertificate(temp_.Path());
    ASSERT_EQ(Sign(temp_.Path(), Path("Morlu.exe"), Path("signed-stub.exe")).exitCode, 0);
    ExpectRefused(Pack({"--stub", Path("signed-stub.exe"), "--version", "1", "-o", Out()}),
                  {"signed stub", 2, "signed-stub.exe: carries an Authenticode signature"});
    ExpectRefused(Pack({"--stub", Path("signed-stub.exe"), "--version", "1", "-o", Out()}),
                  {"signed stub", 2, "sign the finished installer"});
}

TEST_F(BuildRefuses, BrandingItCannotUse)
{
    WriteBytes(Path("text.ico"), BytesOf("not an icon at all"));
    ExpectRefused(PackDefault({"--icon", Path("text.ico")}), {"text as icon", 2, "text.ico: not an icon file"});
    Bytes cut = TwoImageIcon();
    cut.resize(cut.size() - 1);
    WriteBytes(Path("cut.ico"), cut);
    ExpectRefused(PackDefault({"--icon", Path("cut.ico")}), {"cut icon", 2, "image 2 lies outside the file"});
    ExpectRefused(PackDefault({"--icon", Path("none.ico")}), {"missing icon", 3, "none.ico: No such file"});
    ExpectRefused(PackDefault({"--version-info", "Productname"}), {"no value", 1, "takes KEY=VALUE"});
    ExpectRefused(PackDefault({"--version-info", "=Morlu"}), {"no key", 1, "takes KEY=VALUE"});
    ExpectRefused(PackDefault({"--version-info", "FileVersion=v1.2"}), {"no number", 1, "such as 1.10"});
    ExpectRefused(PackDefault({"--version-info", "FileVersion=1.2.3.4.5"}), {"five numbers", 1, "one to four numbers"});
    ExpectRefused(PackDefault({"--version-info", "ProductName=a", "--version-info", "productname=b"}),
                  {"twice", 1, "ProductName is given twice"});
}

} // namespace
