// morlu-pack.exe as a publisher runs it on Windows, against the native packer
// on the same inputs (packed at build time, tests/packer/CMakeLists.txt): the
// same installers, listings, reports and help; Japanese names on the command
// line, in folders, on the console and on disk; extraction that replaces
// safely and follows no link; Windows' identities and error texts; and an
// installer it built, installed.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive_builder.h"
#include "installer_run.h"
#include "window_probe.h"

namespace {

// As the native packer got it at build time.
const char kSourceDateEpoch[] = "1700000000";
const char kJapaneseVersion[] = "1.10 ベータ";

std::string InBuild(const std::string& name)
{
    return std::string(MORLU_BUILD_DIR) + "\\" + name;
}

std::wstring Wide(const std::string& utf8)
{
    std::wstring wide(utf8.size(), L'\0');
    wide.resize((size_t)MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &wide[0], (int)wide.size()));
    return wide;
}

std::string Utf8(const std::wstring& wide)
{
    std::string utf8(wide.size() * 3, '\0');
    utf8.resize((size_t)WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), &utf8[0], (int)utf8.size(),
                                            NULL, NULL));
    return utf8;
}

// Quoted as CommandLineToArgvW and the C library split command lines.
std::wstring Quoted(const std::wstring& argument)
{
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    return quoted.append(2 * backslashes, L'\\') + L"\"";
}

Bytes ReadAll(const std::string& path)
{
    Bytes bytes;
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    bytes.resize(GetFileSize(file, NULL));
    DWORD got = 0;
    ReadFile(file, bytes.data(), (DWORD)bytes.size(), &got, NULL);
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

std::string TextOf(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

void WriteAll(const std::string& path, const Bytes& bytes)
{
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
}

// Names in a folder, in UTF-8, sorted.
std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(Wide(folder + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = Utf8(entry.cFileName);
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveAll(const std::string& path)
{
    std::wstring wide = Wide(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        for (const std::string& name : Names(path))
            RemoveAll(path + "\\" + name);
        RemoveDirectoryW(wide.c_str());
    } else {
        SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(wide.c_str());
    }
}

// An empty folder of the test's own.
std::string Fresh(const std::string& name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::string root = Utf8(temp) + "morlu-pack-exe";
    CreateDirectoryW(Wide(root).c_str(), NULL);
    std::string folder = root + "\\" + name;
    RemoveAll(folder);
    CreateDirectoryW(Wide(folder).c_str(), NULL);
    return folder;
}

std::string WithoutCarriageReturns(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::string SystemText(DWORD error)
{
    wchar_t text[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0, text,
                                  512, NULL);
    std::string words = Utf8(std::wstring(text, length));
    return words.erase(words.find_last_not_of("\r\n ") + 1);
}

std::wstring CommandLine(const std::vector<std::string>& arguments)
{
    std::wstring line = Quoted(Wide(InBuild("morlu-pack.exe")));
    for (const std::string& argument : arguments)
        line += L" " + Quoted(Wide(argument));
    return line;
}

// Starts morlu-pack.exe with SOURCE_DATE_EPOCH as given (or unset) and these
// standard handles (NULL: the console).
PROCESS_INFORMATION Start(const std::vector<std::string>& arguments, const char* sourceDateEpoch, HANDLE out,
                          HANDLE err)
{
    SetEnvironmentVariableW(L"SOURCE_DATE_EPOCH", sourceDateEpoch != nullptr ? Wide(sourceDateEpoch).c_str() : NULL);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (out != NULL) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = out;
        startup.hStdError = err;
    }
    std::wstring line = CommandLine(arguments);
    PROCESS_INFORMATION process = {};
    EXPECT_TRUE(CreateProcessW(NULL, &line[0], NULL, NULL, out != NULL, 0, NULL, NULL, &startup, &process));
    SetEnvironmentVariableW(L"SOURCE_DATE_EPOCH", NULL);
    return process;
}

DWORD Finish(PROCESS_INFORMATION process)
{
    DWORD status = STILL_ACTIVE;
    if (WaitForSingleObject(process.hProcess, WaitLimit(120000)) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &status);
    else
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return status;
}

struct Outcome {
    DWORD status;
    std::string out;
    std::string err;
};

// Runs morlu-pack.exe, its output and errors into files.
Outcome Pack(const std::vector<std::string>& arguments, const char* sourceDateEpoch = nullptr)
{
    std::string folder = Fresh("output");
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, NULL, TRUE};
    HANDLE files[2];
    for (int i = 0; i < 2; ++i)
        files[i] = CreateFileW(Wide(folder + (i == 0 ? "\\out" : "\\err")).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                               &inherited, CREATE_ALWAYS, 0, NULL);
    Outcome outcome;
    outcome.status = Finish(Start(arguments, sourceDateEpoch, files[0], files[1]));
    CloseHandle(files[0]);
    CloseHandle(files[1]);
    outcome.out = TextOf(ReadAll(folder + "\\out"));
    outcome.err = TextOf(ReadAll(folder + "\\err"));
    return outcome;
}

std::vector<std::string> DemoFiles()
{
    return {InBuild("demo-product\\DEZAZAZE.exe"), InBuild("demo-product\\Morlu.exe"),
            InBuild("demo-product\\Morlu.txt")};
}

// Same inputs, same bytes, on either system: the demo installer with the
// demo's file times as wine reads them, and the Japanese product with
// SOURCE_DATE_EPOCH; the same listing and report of what it built.
TEST(MorluPackExe, BuildsTheSameInstallersAsTheLinuxTool)
{
    std::string folder = Fresh("same");
    std::vector<std::string> demo = {"build", "--quiet", "--stub", InBuild("setup-stub.exe"), "--version", "1.10",
                                     "--message", std::string(MORLU_SOURCE_DIR) + "\\tests\\demo\\product\\message.txt",
                                     "-o", folder + "\\demo-setup.exe"};
    for (const std::string& file : DemoFiles())
        demo.push_back(file);
    Outcome built = Pack(demo);
    ASSERT_EQ(built.status, 0u) << built.err;
    EXPECT_TRUE(ReadAll(folder + "\\demo-setup.exe") == ReadAll(InBuild("demo-setup.exe")));

    built = Pack({"build", "--quiet", "--stub", InBuild("setup-stub.exe"), "--version", kJapaneseVersion, "--message",
                  std::string(MORLU_SOURCE_DIR) + "\\tests\\packer\\japanese-message.txt", "-o",
                  folder + "\\日本語.exe", InBuild("japanese-product")},
                 kSourceDateEpoch);
    ASSERT_EQ(built.status, 0u) << built.err;
    EXPECT_TRUE(ReadAll(folder + "\\日本語.exe") == ReadAll(InBuild("japanese-setup-linux.exe")));

    Outcome list = Pack({"list", folder + "\\日本語.exe"});
    EXPECT_EQ(list.status, 0u) << list.err;
    EXPECT_EQ(WithoutCarriageReturns(list.out), TextOf(ReadAll(InBuild("japanese-list-linux.txt"))));
    Outcome test = Pack({"test", folder + "\\日本語.exe"});
    EXPECT_EQ(test.status, 0u) << test.err;
    EXPECT_EQ(WithoutCarriageReturns(test.out), TextOf(ReadAll(InBuild("japanese-test-linux.txt"))));
}

// A console shows the names as they are, in its own characters.
TEST(MorluPackExe, AConsoleShowsJapaneseNames)
{
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                 OPEN_EXISTING, 0, NULL);
    ASSERT_NE(console, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Finish(Start({"list", InBuild("japanese-setup-linux.exe")}, nullptr, NULL, NULL)), 0u);
    CONSOLE_SCREEN_BUFFER_INFO screen;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(console, &screen));
    std::string shown;
    for (SHORT row = 0; row < screen.dwCursorPosition.Y; ++row) {
        std::wstring line(screen.dwSize.X, L' ');
        DWORD got = 0;
        ReadConsoleOutputCharacterW(console, &line[0], (DWORD)line.size(), COORD{0, row}, &got);
        line.resize(got);
        shown += Utf8(line.erase(line.find_last_not_of(L' ') + 1)) + "\n";
    }
    CloseHandle(console);
    FreeConsole();
    EXPECT_EQ(shown, TextOf(ReadAll(InBuild("japanese-list-linux.txt"))));
}

TEST(MorluPackExe, ExtractsJapaneseNamesReplacingWhatStandsUnderThem)
{
    std::string folder = Fresh("extract");
    std::string product = InBuild("japanese-product");
    // A read-only file under a member's name is replaced; a file of another name is kept.
    WriteAll(folder + "\\表示.txt", BytesOf("old"));
    SetFileAttributesW(Wide(folder + "\\表示.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteAll(folder + "\\mine.txt", BytesOf("mine"));
    Outcome extract = Pack({"extract", InBuild("japanese-setup-linux.exe"), "-C", folder});
    ASSERT_EQ(extract.status, 0u) << extract.err;
    std::vector<std::string> expected = Names(product);
    expected.push_back("mine.txt");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(folder), expected);
    for (const std::string& name : Names(product))
        EXPECT_TRUE(ReadAll(folder + "\\" + name) == ReadAll(product + "\\" + name)) << name;
    EXPECT_EQ(TextOf(ReadAll(folder + "\\mine.txt")), "mine");

    // The member's time, 2023-11-15 07:13:20 in Japan, as the local wall clock.
    HANDLE file = CreateFileW(Wide(folder + "\\表示.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              0, NULL);
    FILETIME written, local;
    SYSTEMTIME stamp = {};
    EXPECT_TRUE(GetFileTime(file, NULL, NULL, &written));
    CloseHandle(file);
    FileTimeToLocalFileTime(&written, &local);
    FileTimeToSystemTime(&local, &stamp);
    EXPECT_EQ((std::vector<int>{stamp.wYear, stamp.wMonth, stamp.wDay, stamp.wHour, stamp.wMinute, stamp.wSecond}),
              (std::vector<int>{2023, 11, 15, 7, 13, 20}));

    // A damaged member leaves what stood there, and no temporary file.
    MemberSpec damaged = StoredMember("\x95\x5C\x8E\xA6.txt", BytesOf("damaged")); // 表示.txt
    damaged.crc ^= 1;
    WriteAll(folder + "\\damaged.lzh", ArchiveOf({damaged}));
    Outcome refused = Pack({"extract", folder + "\\damaged.lzh", "-C", folder});
    EXPECT_EQ(refused.status, 2u);
    EXPECT_NE(refused.err.find("member 1 (表示.txt): CRC-16 does not match"), std::string::npos) << refused.err;
    EXPECT_TRUE(ReadAll(folder + "\\表示.txt") == ReadAll(product + "\\表示.txt"));
    expected.push_back("damaged.lzh");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(folder), expected);
}

// As on POSIX: a member's subfolder must be a folder of the destination's own,
// never a link that leads elsewhere.
TEST(MorluPackExe, ExtractEntersSubfoldersButNoLink)
{
    std::string destination = InBuild("link-fixture\\dest");
    std::string outside = InBuild("link-fixture\\outside");
    RemoveAll(destination + "\\real");
    for (const std::string& name : Names(outside))
        RemoveAll(outside + "\\" + name);
    ASSERT_TRUE(CreateDirectoryW(Wide(destination + "\\real").c_str(), NULL));
    ASSERT_NE(GetFileAttributesW(Wide(destination + "\\sub").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    std::string archive = Fresh("links") + "\\links.lzh";
    WriteAll(archive,
             ArchiveOf({StoredMember("real\\in.txt", BytesOf("in")), StoredMember("sub\\out.txt", BytesOf("out"))}));
    Outcome extract = Pack({"extract", archive, "-C", destination});
    EXPECT_EQ(extract.status, 3u);
    EXPECT_NE(extract.err.find("member 2 (sub\\out.txt): cannot create the file: " +
                               SystemText(ERROR_CANT_RESOLVE_FILENAME)),
              std::string::npos)
        << extract.err;
    EXPECT_EQ(TextOf(ReadAll(destination + "\\real\\in.txt")), "in");
    EXPECT_TRUE(Names(outside).empty());
}

// A link in the product folder that leads out of it is refused, named by the
// path it leads to as Windows writes paths (wine takes a Unix link to a file
// through to its target, as Windows does a symbolic link).
TEST(MorluPackExe, RefusesALinkOutOfTheProductFolder)
{
    std::string product = InBuild("link-fixture\\product");
    for (const std::string& file : DemoFiles())
        CopyFileW(Wide(file).c_str(), Wide(product + file.substr(file.rfind('\\'))).c_str(), FALSE);
    std::string output = Fresh("linked") + "\\setup.exe";
    Outcome built = Pack({"build", "--stub", InBuild("setup-stub.exe"), "--version", "1", "-o", output, product});
    EXPECT_EQ(built.status, 2u);
    EXPECT_NE(built.err.find(product + "\\outside.txt: a link to " + InBuild("link-fixture\\secret.txt") +
                             ", outside " + product + ","),
              std::string::npos)
        << built.err;
    EXPECT_EQ(GetFileAttributesW(Wide(output).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Pack({"build", "-q", "--stub", InBuild("setup-stub.exe"), "--version", "1", "--exclude", "outside.txt",
                    "-o", output, product})
                  .status,
              0u);
}

// The help, usage errors, Windows' error texts, and an output that is an
// input under another spelling of its name (the file index tells).
TEST(MorluPackExe, SameHelpAndExitCodesWithWindowsErrorTexts)
{
    Outcome help = Pack({"--help"});
    EXPECT_EQ(help.status, 0u);
    EXPECT_EQ(WithoutCarriageReturns(help.out), TextOf(ReadAll(InBuild("help-linux.txt"))));
    EXPECT_EQ(Pack({"list"}).status, 1u);

    std::string folder = Fresh("errors");
    Outcome missing = Pack({"test", folder + "\\無い.exe"});
    EXPECT_EQ(missing.status, 3u);
    EXPECT_EQ(missing.err, "morlu-pack: " + folder + "\\無い.exe: " + SystemText(ERROR_FILE_NOT_FOUND) + "\r\n");
    WriteAll(folder + "\\junk.lzh", BytesOf("\x05junk"));
    EXPECT_EQ(Pack({"list", folder + "\\junk.lzh"}).status, 2u);

    std::vector<std::string> inputs = DemoFiles();
    std::string output = inputs[0].substr(0, inputs[0].size() - 12) + "dezazaze.EXE";
    std::vector<std::string> build = {"build", "--stub", InBuild("setup-stub.exe"), "--version", "1", "-o", output};
    build.insert(build.end(), inputs.begin(), inputs.end());
    Outcome overwrite = Pack(build);
    EXPECT_EQ(overwrite.status, 1u);
    EXPECT_NE(overwrite.err.find("is the input"), std::string::npos) << overwrite.err;
}

// However the build ends, its temporary file goes with it.
TEST(MorluPackExe, AnEndedBuildLeavesNoTemporaryFile)
{
    std::string folder = Fresh("ended");
    CreateDirectoryW(Wide(folder + "\\product").c_str(), NULL);
    for (const std::string& file : DemoFiles())
        CopyFileW(Wide(file).c_str(), Wide(folder + "\\product" + file.substr(file.rfind('\\'))).c_str(), FALSE);
    WriteAll(folder + "\\product\\large.bin", RandomBytes(64 << 20, 14));
    PROCESS_INFORMATION build = Start({"build", "--quiet", "--jobs", "1", "--stub", InBuild("setup-stub.exe"),
                                       "--version", "1", "-o", folder + "\\setup.exe", folder + "\\product"},
                                      nullptr, NULL, NULL);
    bool seen = false;
    for (DWORD begun = GetTickCount(); !seen && GetTickCount() - begun < WaitLimit(30000); Sleep(20))
        seen = Names(folder).size() > 1;
    ASSERT_TRUE(seen) << "no temporary file appeared";
    TerminateProcess(build.hProcess, 1);
    Finish(build);
    EXPECT_EQ(Names(folder), std::vector<std::string>{"product"});
}

// The installer morlu-pack.exe writes runs the demo installation.
TEST(MorluPackExe, TheInstallerItBuildsInstalls)
{
    InstallerRun run("pack-exe-install", Bytes());
    std::string product = Fresh("install");
    for (const std::string& file : DemoFiles())
        CopyFileW(Wide(file).c_str(), Wide(product + file.substr(file.rfind('\\'))).c_str(), FALSE);
    WriteAll(product + "\\DEZAZAZE.CFG", BytesOf("folder=" + run.folder() + "\\installed\n"));
    Outcome built = Pack({"build", "--quiet", "--stub", InBuild("setup-stub.exe"), "--version", "1.10", "-o",
                          run.programPath(), product});
    ASSERT_EQ(built.status, 0u) << built.err;

    ASSERT_TRUE(run.Start());
    HWND dialog = WaitForWindow(run.processId(), IsShortcutDialog, 20000);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(Answer(dialog, IDCANCEL)); // the dialog's OK button
    HWND question = run.WaitForMessageBox();
    ASSERT_NE(question, nullptr);
    PressButton(question, IDNO);
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_TRUE(ReadAll(run.folder() + "\\installed\\Morlu.exe") == ReadAll(DemoFiles()[1]));
    for (const std::string& link : DemoShortcuts())
        DeleteFileA(link.c_str());
}

} // namespace
