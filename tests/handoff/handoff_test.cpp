#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>

#include "archive_builder.h"
#include "demo_installers.h"
#include "installer/exit_status.h"
#include "installer_run.h"
#include "resources/resource_ids.h"
#include "window_probe.h"

namespace {

const char kCaption[] = "Morlu2 1.10 のｲﾝｽﾄｰﾙ";
const char kDataError[] = "解凍でｴﾗｰが起きました｡ ｲﾝｽﾄｰﾙﾌﾟﾛｸﾞﾗﾑのﾌｧｲﾙが壊れている可能性があります。"
                          "ﾀﾞｳﾝﾛｰﾄﾞし直してください｡";
const char kCountError[] = "ﾌｧｲﾙの数が異常です｡ ｲﾝｽﾄｰﾙﾌﾟﾛｸﾞﾗﾑのﾌｧｲﾙが壊れている可能性があります｡ "
                           "ﾀﾞｳﾝﾛｰﾄﾞし直してください｡";
const char kInstallFailed[] = "ｲﾝｽﾄｰﾙできませんでした｡";
const char kCompletion[] = "Morlu2 のｲﾝｽﾄｰﾙが完了しました｡ \r\n\r\nﾘﾘｰｽﾉｰﾄを表示しますか?\r\n"
                           "(ｲﾝｽﾄｰﾙ先のﾌｫﾙﾀﾞの「Morlu.txt」を開けばいつでも表示できます)";

// Removes the shortcuts a run may make, before and after it.
void RemoveDemoShortcuts()
{
    for (const std::string& link : DemoShortcuts())
        DeleteFileA(link.c_str());
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whether notepad shows the release notes within WaitLimit(waitMs).
bool ReleaseNotesOpen(DWORD waitMs)
{
    for (DWORD begun = GetTickCount(); GetTickCount() - begun < WaitLimit(waitMs); Sleep(50)) {
        if (FindNotepadShowing("Morlu.txt") != NULL)
            return true;
    }
    return false;
}

class Handoff : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveDemoShortcuts();
        demo_ = LoadDemoInstaller();
        ASSERT_EQ(demo_.memberCount, 3);
    }
    void TearDown() override
    {
        run_.reset();
        RemoveDemoShortcuts();
        if (HWND notepad = FindNotepadShowing("Morlu.txt"))
            PostMessageA(notepad, WM_CLOSE, 0, 0);
    }

    // Starts the demo installer, its inner installer told `control` (lines
    // key=value) and installing into the run's own folder.
    void Start(const std::string& name, std::string control = "")
    {
        run_.reset(new InstallerRun(name, Bytes()));
        installFolder_ = run_->folder() + "\\installed";
        StartInto(control);
    }
    // Another run of the demo installer into the same install folder.
    void StartAgain(const std::string& name, std::string control = "")
    {
        demo_ = LoadDemoInstaller();
        run_.reset(new InstallerRun(name, Bytes()));
        StartInto(control);
    }
    void StartInto(const std::string& control)
    {
        if (windowsVersion_ != NULL)
            run_->SetWindowsVersion(windowsVersion_);
        AddControlFile(&demo_, "folder=" + installFolder_ + "\n" + control);
        ASSERT_TRUE(WriteFileBytes(run_->programPath(), ImageOf(demo_)));
        watch_.reset(new FolderWatch(run_->tempFolder(), watchSubtree_));
        ASSERT_TRUE(run_->Start());
    }
    void StartImage(const std::string& name, const Bytes& image)
    {
        run_.reset(new InstallerRun(name, image));
        watch_.reset(new FolderWatch(run_->tempFolder()));
        ASSERT_TRUE(run_->Start());
    }

    // Waits for the next box, checks it is the warning `text`, and answers it.
    void ExpectWarning(const std::string& text)
    {
        HWND box = run_->WaitForMessageBox();
        ASSERT_NE(box, nullptr) << "waiting for: " << text;
        MessageBoxInfo info = ReadMessageBox(box);
        EXPECT_EQ(info.text, text);
        EXPECT_EQ(info.caption, kCaption);
        EXPECT_TRUE(info.warningIcon);
        EXPECT_EQ(info.owner, run_->WaitForProgressWindow(0));
        EXPECT_TRUE(Answer(box, IDOK));
    }

    HWND WaitForShortcutDialog(DWORD timeoutMs = 20000)
    {
        return WaitForWindow(run_->processId(), IsShortcutDialog, timeoutMs);
    }

    // Closes the shortcut dialog with its OK button, answers the completion
    // question and expects the run to end well.
    void Finish(HWND dialog, int answer)
    {
        ASSERT_TRUE(Answer(dialog, IDCANCEL));
        HWND question = run_->WaitForMessageBox();
        ASSERT_NE(question, nullptr);
        PressButton(question, answer);
        EXPECT_EQ(run_->WaitForExit(), 0u);
        EXPECT_EQ(run_->TempEntries(), std::vector<std::string>());
    }
    // A run without a look at its windows: both shortcuts, no release notes.
    void InstallWithShortcuts(const std::string& name)
    {
        Start(name);
        HWND dialog = WaitForShortcutDialog();
        ASSERT_NE(dialog, nullptr);
        Finish(dialog, IDNO);
    }

    // Ends a run that failed: no further box, the failure's exit status, work folder gone.
    void ExpectCleanEnd(ExitStatus status)
    {
        EXPECT_EQ(run_->WaitForExit(), (DWORD)status);
        EXPECT_EQ(watch_->Added(), std::vector<std::string>{"RAREVURED0"});
        EXPECT_TRUE(run_->TempEntries().empty());
    }

    void ExpectReadErrorWith(const MemberSpec& large);

    DemoInstaller demo_;
    std::unique_ptr<InstallerRun> run_;
    std::unique_ptr<FolderWatch> watch_;
    bool watchSubtree_ = false;
    const char* windowsVersion_ = NULL; // wine's name, for this installer alone
    std::string installFolder_;
};

TEST_F(Handoff, FullRunInstallsLinksAndOpensTheReleaseNotes)
{
    Start("handoff-full");
    HWND progress = run_->WaitForProgressWindow();
    ASSERT_NE(progress, nullptr);

    HWND dialog = WaitForShortcutDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(StepShown(progress), 3);
    EXPECT_EQ(ItemTextOf(progress, IDC_STEP2_MARKER), "済");
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), progress);
    EXPECT_EQ(CheckStateOf(dialog, IDC_DESKTOP_SHORTCUT), BST_CHECKED);
    EXPECT_EQ(CheckStateOf(dialog, IDC_PROGRAMS_SHORTCUT), BST_CHECKED);
    ASSERT_TRUE(Answer(dialog, IDCANCEL)); // the dialog's OK button

    HWND question = run_->WaitForMessageBox();
    ASSERT_NE(question, nullptr);
    MessageBoxInfo info = ReadMessageBox(question);
    EXPECT_EQ(info.text, kCompletion);
    EXPECT_EQ(info.caption, kCaption);
    EXPECT_FALSE(info.hasIcon);
    EXPECT_EQ(info.buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_EQ(info.owner, progress);
    EXPECT_EQ(StepShown(progress), 4);
    PressButton(question, IDYES);

    EXPECT_EQ(run_->WaitForExit(), 0u);
    EXPECT_TRUE(run_->TempEntries().empty());
    EXPECT_TRUE(Exists(installFolder_ + "\\Morlu.exe"));
    EXPECT_TRUE(Exists(SpecialFolder(CSIDL_DESKTOPDIRECTORY) + "\\Morlu2.lnk"));
    EXPECT_TRUE(Exists(SpecialFolder(CSIDL_PROGRAMS) + "\\Morlu2.lnk"));
    EXPECT_TRUE(ReleaseNotesOpen(10000));
}

// CTest runs this on the code pages 1252 and 949 too (MORLU_ANSI_CODE_PAGE
// names the one meant): a Japanese product on a Windows of another language.
TEST_F(Handoff, JapaneseTextsAndNamesOnAnyCodePage)
{
    char codePage[16] = "932";
    GetEnvironmentVariableA("MORLU_ANSI_CODE_PAGE", codePage, sizeof codePage);
    ASSERT_EQ(GetACP(), (UINT)atoi(codePage)) << "the locale did not reach wine";
    // Their second bytes are 0x5C, a backslash in any single-byte code page.
    AddStoredMember(&demo_, "ソフト.txt", BytesOf("soft"));
    AddStoredMember(&demo_, "表.dat", BytesOf("table"));
    watchSubtree_ = true;
    Start("handoff-code-page");
    HWND progress = run_->WaitForProgressWindow();
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(WindowTextOf(progress), kCaption);
    EXPECT_EQ(ItemTextOf(progress, IDC_STEP2_LABEL), "ﾌｧｲﾙとﾚｼﾞｽﾄﾘの登録");

    HWND dialog = WaitForShortcutDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(WindowTextOf(dialog), std::string(kCaption) + " ");
    EXPECT_EQ(ItemTextOf(dialog, IDC_DESKTOP_SHORTCUT), "ﾃﾞｽｸﾄｯﾌﾟ ｱｲｺﾝ(&D)");
    EXPECT_EQ(ItemTextOf(progress, IDC_STEP2_MARKER), "済");
    EXPECT_EQ(StepShown(progress), 3);
    ASSERT_TRUE(Answer(dialog, IDCANCEL));

    HWND question = run_->WaitForMessageBox();
    ASSERT_NE(question, nullptr);
    MessageBoxInfo info = ReadMessageBox(question);
    EXPECT_EQ(info.text, kCompletion);
    EXPECT_EQ(info.caption, kCaption);
    PressButton(question, IDNO);
    EXPECT_EQ(run_->WaitForExit(), 0u);
    std::vector<std::string> added = watch_->Added();
    for (const char* member : {"RAREVURED0\\ソフト.txt", "RAREVURED0\\表.dat"})
        EXPECT_NE(std::find(added.begin(), added.end(), member), added.end()) << member;
    EXPECT_TRUE(Exists(SpecialFolder(CSIDL_DESKTOPDIRECTORY) + "\\Morlu2.lnk"));
    EXPECT_TRUE(run_->TempEntries().empty());
}

// Windows 98 has no wide calls: the installer keeps the ANSI ones there.
TEST_F(Handoff, Windows98InstallsThroughTheAnsiCalls)
{
    windowsVersion_ = "win98";
    Start("handoff-win98");
    HWND progress = run_->WaitForProgressWindow();
    ASSERT_NE(progress, nullptr);
    // Texts go to the system as they are, in its own code page: on an English
    // or a Korean system that is not the Japanese that NT's wide calls show.
    WCHAR title[64] = L"";
    WCHAR asAnsi[64] = L"";
    GetWindowTextW(progress, title, 64);
    MultiByteToWideChar(CP_ACP, 0, kCaption, -1, asAnsi, 64);
    EXPECT_EQ(std::wstring(title), std::wstring(asAnsi));
    HWND dialog = WaitForShortcutDialog();
    ASSERT_NE(dialog, nullptr);
    Finish(dialog, IDNO);
    EXPECT_TRUE(Exists(installFolder_ + "\\Morlu.exe"));
    EXPECT_TRUE(Exists(SpecialFolder(CSIDL_DESKTOPDIRECTORY) + "\\Morlu2.lnk"));
    EXPECT_TRUE(Exists(SpecialFolder(CSIDL_PROGRAMS) + "\\Morlu2.lnk"));
}

TEST_F(Handoff, AnswerNoOpensNothingAndLinksOnlyWhatWasChosen)
{
    Start("handoff-no");
    HWND dialog = WaitForShortcutDialog();
    ASSERT_NE(dialog, nullptr);
    SendMessageA(GetDlgItem(dialog, IDC_DESKTOP_SHORTCUT), BM_SETCHECK, BST_UNCHECKED, 0);
    Finish(dialog, IDNO);
    EXPECT_FALSE(Exists(SpecialFolder(CSIDL_DESKTOPDIRECTORY) + "\\Morlu2.lnk"));
    EXPECT_TRUE(Exists(SpecialFolder(CSIDL_PROGRAMS) + "\\Morlu2.lnk"));
    EXPECT_FALSE(ReleaseNotesOpen(1500));
}

TEST_F(Handoff, ExistingShortcutUnchecksBothBoxes)
{
    ASSERT_NO_FATAL_FAILURE(InstallWithShortcuts("handoff-first"));
    StartAgain("handoff-second");
    HWND dialog = WaitForShortcutDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(CheckStateOf(dialog, IDC_DESKTOP_SHORTCUT), BST_UNCHECKED);
    EXPECT_EQ(CheckStateOf(dialog, IDC_PROGRAMS_SHORTCUT), BST_UNCHECKED);
    Finish(dialog, IDNO);
}

TEST_F(Handoff, PackedConfirmationCancelledLeavesNoWorkFolder)
{
    Bytes image;
    ASSERT_TRUE(ReadFileBytes(MORLU_BUILD_DIR "\\demo-setup.exe", &image));
    StartImage("handoff-cancel", image);
    HWND box = run_->WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    MessageBoxInfo info = ReadMessageBox(box);
    EXPECT_EQ(info.text, "これは Morlu2 のｲﾝｽﾄｰﾗのﾃﾞﾓです｡\nOK を押すとｲﾝｽﾄｰﾙを始めます｡\n");
    EXPECT_EQ(info.buttons, (std::vector<int>{IDOK, IDCANCEL}));
    PressButton(box, IDCANCEL);
    EXPECT_EQ(run_->WaitForExit(), (DWORD)EXIT_CANCELLED);
    EXPECT_TRUE(watch_->Added().empty());
    EXPECT_TRUE(run_->TempEntries().empty());
}

// One failure, one box: no member count message after the damage.
TEST_F(Handoff, DamagedArchiveIsToldOnceAtStepOne)
{
    StartImage("handoff-damaged", [this] {
        Bytes image = ImageOf(demo_);
        image[MemberDataOffset(demo_, "Morlu.exe") + 100] ^= 0x01;
        return image;
    }());
    HWND box = run_->WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(StepShown(run_->WaitForProgressWindow(0)), 1);
    ExpectWarning(kDataError);
    ExpectCleanEnd(EXIT_DAMAGED_INSTALLER);
}

TEST_F(Handoff, FileErrorTellsTheWorkFolderOnly)
{
    // The installer makes no folders, so a member in a subfolder cannot be written.
    AddStoredMember(&demo_, "docs\\readme.txt", BytesOf("notes"));
    Start("handoff-file-error");
    ExpectWarning(run_->tempFolder() + "\\RAREVURED0 にファイルを作成できません｡");
    ExpectCleanEnd(EXIT_WRITE_FAILED);
    EXPECT_FALSE(Exists(installFolder_)) << "not started";
}

// Members named for devices, and one that claims 4 GiB of output from no
// data at all: each is damage, told at once, and nothing is started.
TEST_F(Handoff, HostileMembersAreDamageToldAtOnce)
{
    MemberSpec endless = Lh5Member("endless.bin", Bytes());
    endless.data.clear();
    endless.originalSize = 0xFFFFFFFF;
    for (const char* name : {"NUL", "AUX.txt", "COM1", "endless.bin"}) {
        SCOPED_TRACE(name);
        demo_ = LoadDemoInstaller();
        if (std::string(name) == "endless.bin") {
            demo_.members.insert(demo_.members.begin(), MemberBytes(endless));
            ++demo_.memberCount;
        } else {
            AddStoredMember(&demo_, name, BytesOf("to a device?"));
        }
        Start(std::string("handoff-hostile-") + name);
        ExpectWarning(kDataError);
        ExpectCleanEnd(EXIT_DAMAGED_INSTALLER);
        EXPECT_FALSE(Exists(installFolder_)) << "not started";
    }
}

TEST_F(Handoff, MemberCountOneOffStopsBeforeTheInnerInstaller)
{
    demo_.memberCount += 1;
    Start("handoff-count", "");
    ExpectWarning(kCountError);
    ExpectCleanEnd(EXIT_DAMAGED_INSTALLER);
    EXPECT_FALSE(Exists(installFolder_)) << "not started";
}

TEST_F(Handoff, MissingInnerInstallerIsToldWithItsPath)
{
    DropMember(&demo_, "DEZAZAZE.exe");
    Start("handoff-no-inner");
    ExpectWarning(run_->tempFolder() + "\\RAREVURED0\\DEZAZAZE.exe を起動できません｡");
    ExpectCleanEnd(EXIT_INNER_NOT_STARTED);
}

// What RES.DAT holds, and whether the installer takes it.
struct ResultCase {
    const char* result;
    bool accepted;
};

void PrintTo(const ResultCase& c, std::ostream* out)
{
    *out << c.result;
}

class ResultFile : public Handoff, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(ResultFile, IsTakenOrToldAsAFailure)
{
    Start(std::string("handoff-result-") + GetParam().result, std::string("result=") + GetParam().result);
    if (!GetParam().accepted) {
        ASSERT_NE(run_->WaitForMessageBox(), nullptr);
        EXPECT_EQ(StepShown(run_->WaitForProgressWindow(0)), 2);
        ExpectWarning(kInstallFailed);
        ExpectCleanEnd(EXIT_INSTALL_FAILED);
        return;
    }
    HWND dialog = WaitForShortcutDialog();
    ASSERT_NE(dialog, nullptr);
    Finish(dialog, IDNO);
}

INSTANTIATE_TEST_SUITE_P(Contents, ResultFile,
                         ::testing::Values(ResultCase{"star", false}, ResultCase{"empty", false},
                                           ResultCase{"bytes260", false}, ResultCase{"nul259", true}),
                         [](const ::testing::TestParamInfo<ResultCase>& info) { return std::string(info.param.result); });

TEST_F(Handoff, LineEndAfterThePathIsPartOfItSoNothingIsFoundOrOpened)
{
    // Shortcuts to the program exist, but the folder text with CR LF names no program.
    ASSERT_NO_FATAL_FAILURE(InstallWithShortcuts("handoff-crlf-first"));
    StartAgain("handoff-crlf", "result=crlf\n");
    HWND dialog = WaitForShortcutDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(CheckStateOf(dialog, IDC_DESKTOP_SHORTCUT), BST_CHECKED) << "no probe: shortcutExists is 0";
    SendMessageA(GetDlgItem(dialog, IDC_DESKTOP_SHORTCUT), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageA(GetDlgItem(dialog, IDC_PROGRAMS_SHORTCUT), BM_SETCHECK, BST_UNCHECKED, 0);
    Finish(dialog, IDYES);
    EXPECT_FALSE(ReleaseNotesOpen(1500));
}

TEST_F(Handoff, ResultIsReadOnlyAtTheOncePerSecondLook)
{
    Start("handoff-timing", "delay=100\ntickfile=1\n");
    HWND progress = run_->WaitForProgressWindow();
    ASSERT_NE(progress, nullptr);
    DWORD stepTwo = 0;
    HWND dialog = NULL;
    for (DWORD begun = GetTickCount(); dialog == NULL; Sleep(10)) {
        if (stepTwo == 0 && StepShown(progress) == 2)
            stepTwo = GetTickCount();
        dialog = WaitForShortcutDialog(0);
        ASSERT_LT(GetTickCount() - begun, WaitLimit(20000)) << "no shortcut dialog";
    }
    DWORD read = GetTickCount();
    Bytes tick;
    ASSERT_TRUE(ReadFileBytes(run_->tempFolder() + "\\RAREVURED0\\STARTED.TIC", &tick));
    DWORD written = std::stoul(std::string(tick.begin(), tick.end())) + 100;

    ASSERT_NE(stepTwo, 0u);
    // The first look comes a second after the wait begins, however early the file is there.
    EXPECT_GE(read - stepTwo, 950u);
    // And every later look follows within about a second.
    EXPECT_LE(read - written, 1600u);
    Finish(dialog, IDNO);
}

TEST_F(Handoff, WaitKeepsTheProgressWindowAnswering)
{
    Start("handoff-never", "result=never\n");
    HWND progress = run_->WaitForProgressWindow();
    ASSERT_NE(progress, nullptr);
    for (int i = 0; i < 50 && StepShown(progress) != 2; ++i)
        Sleep(100);
    ASSERT_EQ(StepShown(progress), 2);
    for (int i = 0; i < 5; ++i) {
        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutA(progress, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer), 0)
            << "round " << i;
        Sleep(500);
    }
    EXPECT_EQ(run_->WaitForExit(1000), kStillRunning) << "the wait has no time-out";
}

// An inner installer that ends normally without RES.DAT may have handed its
// work to another program: the installer waits on until that one writes it.
TEST_F(Handoff, NormalExitWithoutTheResultIsNoFailure)
{
    Start("handoff-handed-on", "result=never\n");
    // Its last act before it ends.
    for (DWORD begun = GetTickCount(); !Exists(installFolder_ + "\\Morlu.txt"); Sleep(50))
        ASSERT_LT(GetTickCount() - begun, WaitLimit(20000)) << "the inner installer did not install";
    EXPECT_EQ(run_->WaitForMessageBox(2500), nullptr) << "its normal end taken for a crash";
    ASSERT_TRUE(WriteFileBytes(run_->tempFolder() + "\\RAREVURED0\\RES.DAT",
                               Bytes(installFolder_.begin(), installFolder_.end())));
    HWND dialog = WaitForShortcutDialog();
    ASSERT_NE(dialog, nullptr);
    Finish(dialog, IDNO);
}

TEST_F(Handoff, HeldResultFileIsWaitedForUntilItsWriterCloses)
{
    Start("handoff-held", "hold=2500\n");
    DWORD started = GetTickCount();
    HWND dialog = WaitForShortcutDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_GE(GetTickCount() - started, 2500u);
    Finish(dialog, IDNO);
}

// The run that ends in a failure says it once, in its exit status too, and
// leaves nothing in %TEMP%.

// CTest mounts a 1 MiB tmpfs there (tests/handoff/CMakeLists.txt).
TEST_F(Handoff, FullDiskIsToldOnceAsSuchAndLeavesNothing)
{
    AddStoredMember(&demo_, "large.bin", RandomBytes(2 << 20, 7));
    run_.reset(new InstallerRun("handoff-full-disk", Bytes()));
    std::string temp = MORLU_BUILD_DIR "\\small-disk\\handoff-full-disk";
    RemoveTree(temp);
    ASSERT_TRUE(CreateDirectoryA(temp.c_str(), NULL)) << "is the small disk mounted?";
    run_->SetTempFolder(temp);
    installFolder_ = run_->folder() + "\\installed";
    StartInto("");
    ExpectWarning(temp + "\\RAREVURED0 にファイルを書き込めません｡ ﾃﾞｨｽｸの空き容量を確認してください｡");
    ExpectCleanEnd(EXIT_WRITE_FAILED);
    RemoveTree(temp);
}

TEST_F(Handoff, CrashedInnerInstallerIsAFailureReport)
{
    Start("handoff-crash", "crash=1\n");
    ASSERT_NE(run_->WaitForMessageBox(), nullptr);
    EXPECT_EQ(StepShown(run_->WaitForProgressWindow(0)), 2);
    ExpectWarning(kInstallFailed);
    ExpectCleanEnd(EXIT_INSTALL_FAILED);
}

// As a virus scanner might, the inner installer holds a file for 3 s after
// RES.DAT; the installer's clean-up outwaits it.
TEST_F(Handoff, FileHeldAfterTheResultStillGoes)
{
    Start("handoff-held-after", "holdafter=3000\n");
    HWND dialog = WaitForShortcutDialog();
    ASSERT_NE(dialog, nullptr);
    Finish(dialog, IDNO);
}

// A CD taken out, a share gone: the installer's own pages cannot be read any
// more, here because its file is cut short behind its back.
void Handoff::ExpectReadErrorWith(const MemberSpec& large)
{
    demo_.members.push_back(MemberBytes(large));
    demo_.memberCount += 1;
    demo_.message = "OK?";
    Start("handoff-read-error");
    HWND box = run_->WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(ReadMessageBox(box).text, "OK?");

    typedef char*(CDECL * UnixName)(const WCHAR*);
    UnixName unixName = (UnixName)(void*)GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name");
    ASSERT_NE(unixName, nullptr);
    WCHAR program[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, run_->programPath().c_str(), -1, program, MAX_PATH);
    size_t cut = ImageOf(demo_).size() - (4 << 20);
    std::string command = "/usr/bin/truncate -s " + std::to_string(cut) + " " + unixName(program);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION truncate = {};
    ASSERT_TRUE(CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &truncate));
    WaitForSingleObject(truncate.hProcess, WaitLimit(10000));
    CloseHandle(truncate.hProcess);
    CloseHandle(truncate.hThread);

    ASSERT_TRUE(Answer(box, IDOK));
    ExpectWarning("ｲﾝｽﾄｰﾙﾌﾟﾛｸﾞﾗﾑのﾌｧｲﾙを読めません｡ CD やﾈｯﾄﾜｰｸの上にある場合は､"
                  "ﾊﾟｿｺﾝにｺﾋﾟｰしてから起動してください｡");
    ExpectCleanEnd(EXIT_DAMAGED_INSTALLER);
}

// Copied straight from the pages: summing a piece before it is written faults.
TEST_F(Handoff, ReadErrorUnderAStoredMemberIsToldAsSuchAndLeavesNothing)
{
    ExpectReadErrorWith(StoredMember("large.bin", RandomBytes(8 << 20, 9)));
}

// Decoded from the pages: the read faults.
TEST_F(Handoff, ReadErrorUnderACompressedMemberIsToldAsSuchAndLeavesNothing)
{
    ExpectReadErrorWith(Lh5Member("large.bin", RandomBytes(8 << 20, 9)));
}

// Another program of the user tries throughout to put its own program in
// the place of DEZAZAZE.exe and to move the work folder away. Wine keeps no
// access rules, so this is the installer's holding alone: the program that
// runs is never the stranger, and a swap that got through is refused.
struct Racer {
    std::string temp;
    std::string stranger;
    volatile bool stop = false;
    int tries = 0;    // attempts on a written DEZAZAZE.exe
    int replaced = 0; // of which succeeded
    int moved = 0;    // work folders with a DEZAZAZE.exe moved away
};

DWORD WINAPI Race(LPVOID context)
{
    Racer* racer = (Racer*)context;
    while (!racer->stop) {
        for (const std::string& name : FolderEntries(racer->temp)) {
            std::string folder = racer->temp + "\\" + name;
            std::string program = folder + "\\DEZAZAZE.exe";
            if (name.compare(0, 9, "RAREVURED") != 0 || !Exists(program))
                continue;
            ++racer->tries;
            if (CopyFileA(racer->stranger.c_str(), program.c_str(), FALSE))
                ++racer->replaced;
            std::string swap = folder + "\\swap.exe";
            if (CopyFileA(racer->stranger.c_str(), swap.c_str(), FALSE) &&
                MoveFileExA(swap.c_str(), program.c_str(), MOVEFILE_REPLACE_EXISTING))
                ++racer->replaced;
            if (MoveFileA(folder.c_str(), (racer->temp + "\\moved-away").c_str()))
                ++racer->moved;
        }
        Sleep(2);
    }
    return 0;
}

TEST_F(Handoff, ARacingProgramCannotSwapTheInnerInstaller)
{
    AddStoredMember(&demo_, "large.bin", RandomBytes(30 << 20, 13));
    std::string mark = MORLU_BUILD_DIR "\\stranger-ran";
    DeleteFileA(mark.c_str());
    SetEnvironmentVariableA("MORLU_STRANGER_MARK", mark.c_str());
    Racer racer;
    racer.stranger = MORLU_BUILD_DIR "\\tests\\handoff\\stranger.exe";
    ASSERT_TRUE(Exists(racer.stranger));
    Start("handoff-race");
    racer.temp = run_->tempFolder();
    HANDLE thread = CreateThread(NULL, 0, Race, &racer, 0, NULL);
    HWND dialog = WaitForShortcutDialog();
    racer.stop = true;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    SetEnvironmentVariableA("MORLU_STRANGER_MARK", NULL);
    EXPECT_GT(racer.tries, 0) << "the racer never saw DEZAZAZE.exe";
    EXPECT_EQ(racer.moved, 0);
    EXPECT_FALSE(Exists(mark)) << "the stranger's program ran";
    if (dialog != NULL) {
        Finish(dialog, IDNO);
    } else {
        // A swap in the moment between the writing and the holding is refused.
        EXPECT_GT(racer.replaced, 0) << "the installer neither installed nor was swapped";
        ExpectWarning(run_->tempFolder() + "\\RAREVURED0 にファイルを作成できません｡");
        ExpectCleanEnd(EXIT_WRITE_FAILED);
    }
}

// A virus scanner holds the freshly downloaded installer for half a second.
TEST_F(Handoff, OwnFileHeldForAMomentStillInstalls)
{
    run_.reset(new InstallerRun("handoff-scanned", Bytes()));
    installFolder_ = run_->folder() + "\\installed";
    AddControlFile(&demo_, "folder=" + installFolder_ + "\n");
    ASSERT_TRUE(WriteFileBytes(run_->programPath(), ImageOf(demo_)));
    ASSERT_TRUE(run_->Start(true));
    HANDLE scanner = CreateFileA(run_->programPath().c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(scanner, INVALID_HANDLE_VALUE);
    run_->Resume();
    Sleep(500);
    CloseHandle(scanner);
    HWND dialog = WaitForShortcutDialog();
    ASSERT_NE(dialog, nullptr) << "the held file was taken for a damaged one";
    Finish(dialog, IDNO);
}

// The Linux process of a wine program, found by the program's name in /proc;
// empty when there is none.
std::string UnixProcessOf(const std::string& programName)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE)
        return "";
    std::string found;
    do {
        std::string pid = entry.cFileName;
        Bytes text;
        if (pid.find_first_not_of("0123456789") == std::string::npos &&
            ReadFileBytes("Z:\\proc\\" + pid + "\\cmdline", &text) &&
            std::string(text.begin(), text.end()).find(programName) != std::string::npos)
            found = pid;
    } while (found.empty() && FindNextFileA(search, &entry));
    FindClose(search);
    return found;
}

// The kernel's count of the process's private memory, in KiB; -1 when it cannot be read.
long RssAnonOf(const std::string& unixProcess)
{
    Bytes text;
    if (!ReadFileBytes("Z:\\proc\\" + unixProcess + "\\status", &text))
        return -1;
    std::string status(text.begin(), text.end());
    size_t at = status.find("RssAnon:");
    return at != std::string::npos ? atol(status.c_str() + at + 8) : -1;
}

// 300 MB of random data: the installer maps its file rather than reading it,
// so its private memory does not grow with the payload, and its window keeps
// answering while the members are written.
TEST_F(Handoff, LargePayloadCostsNoPrivateMemoryAndTheWindowAnswers)
{
    AddStoredMember(&demo_, "large.bin", RandomBytes(300 << 20, 11));
    Start("handoff-large");
    HWND progress = run_->WaitForProgressWindow();
    ASSERT_NE(progress, nullptr);
    std::string installer = UnixProcessOf("handoff-large.exe");
    ASSERT_NE(installer, "");
    long largest = -1;
    int answeredWhileExtracting = 0;
    HWND dialog = NULL;
    for (DWORD begun = GetTickCount(); dialog == NULL; Sleep(10)) {
        ASSERT_LT(GetTickCount() - begun, WaitLimit(60000)) << "no shortcut dialog";
        largest = std::max(largest, RssAnonOf(installer));
        if (StepShown(progress) == 1) {
            DWORD_PTR answer = 0;
            ASSERT_NE(SendMessageTimeoutA(progress, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 250, &answer), 0)
                << "the window did not answer while extracting";
            ++answeredWhileExtracting;
        }
        dialog = WaitForShortcutDialog(0);
    }
    EXPECT_GT(answeredWhileExtracting, 0) << "the extraction was over before it was looked at";
    ASSERT_GT(largest, 0) << "the installer's memory was never read";
    EXPECT_LT(largest, 64 * 1024) << "KiB of private memory for a payload of 300 MB";
    Finish(dialog, IDNO);
}

} // namespace
