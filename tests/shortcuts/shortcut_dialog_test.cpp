#include <functional>

#include "base/paths.h"
#include "base/process_state.h"
#include "installer_run.h"
#include "resources/resource_ids.h"
#include "shell_folder_test.h"
#include "shortcuts/shortcut_dialog.h"
#include "ui/dialog_placement.h"
#include "ui/progress_window.h"

namespace {

// What the dialog showed when it appeared, and what happened until it closed.
struct DialogRun {
    HWND dialog = NULL;
    HWND owner = NULL;
    std::string title;
    RECT rect = {};
    RECT workArea = {};
    int desktopCheck = -1;
    int programsCheck = -1;
    std::string message;
    std::string desktopText;
    std::string programsText;
    std::string okText;
    std::vector<SeenBox> boxes;
    INT_PTR result = 0;
};

struct Script {
    std::function<void(HWND)> act;
    DialogRun* run;
};

std::string StaticTextOf(HWND dialog)
{
    HWND item = FindWindowExA(dialog, NULL, "Static", NULL);
    return item != NULL ? WindowTextOf(item) : "<missing>";
}

DWORD WINAPI PlayScript(LPVOID context)
{
    Script* script = (Script*)context;
    DialogRun* run = script->run;
    HWND dialog = WaitForWindow(GetCurrentProcessId(), IsShortcutDialog, 10000);
    if (dialog == NULL)
        return 0;
    run->dialog = dialog;
    run->owner = GetWindow(dialog, GW_OWNER);
    run->title = WindowTextOf(dialog);
    GetWindowRect(dialog, &run->rect);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &run->workArea, 0);
    run->desktopCheck = CheckStateOf(dialog, IDC_DESKTOP_SHORTCUT);
    run->programsCheck = CheckStateOf(dialog, IDC_PROGRAMS_SHORTCUT);
    run->message = StaticTextOf(dialog);
    run->desktopText = ItemTextOf(dialog, IDC_DESKTOP_SHORTCUT);
    run->programsText = ItemTextOf(dialog, IDC_PROGRAMS_SHORTCUT);
    run->okText = ItemTextOf(dialog, IDCANCEL);
    script->act(dialog);
    return 0;
}

// As a click does: the button takes the mouse press and release itself.
void Click(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void PressOk(HWND dialog)
{
    PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
}

void PressEscape(HWND dialog)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, NULL), &info);
    HWND focus = info.hwndFocus != NULL ? info.hwndFocus : dialog;
    PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

void PressCloseBox(HWND dialog)
{
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

class ShortcutDialog : public ShellFolderTest {
protected:
    void SetUp() override
    {
        ShellFolderTest::SetUp();
        if (HasFatalFailure())
            return;
        instanceHandle = GetModuleHandleA(NULL);
        header_ = {};
        lstrcpyA(header_.versionText, "1.10");
        payloadHeader = &header_;
        folder_ = scratch() + "\\Install Folder";
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), NULL));
        WriteTextFile(folder_ + "\\Morlu.exe", "program");
        currentStep = 0;
        ShowProgressWindow();
        ASSERT_NE(progressWindow, nullptr);
    }
    void TearDown() override
    {
        if (progressWindow != NULL)
            DestroyWindow(progressWindow);
        progressWindow = NULL;
        if (workAreaMoved_)
            SystemParametersInfoA(SPI_SETWORKAREA, 0, &savedWorkArea_, 0);
        payloadHeader = NULL;
        ShellFolderTest::TearDown();
    }
    // Runs the dialog as the driver does while the script acts on it.
    DialogRun Run(const std::function<void(HWND)>& act)
    {
        DialogRun run;
        Script script = {act, &run};
        BoxAnswerer answerer;
        HANDLE player = CreateThread(NULL, 0, PlayScript, &script, 0, NULL);
        run.result = OfferShortcuts(progressWindow, folder_.c_str(), shortcutExists_);
        WaitForSingleObject(player, INFINITE);
        CloseHandle(player);
        run.boxes = answerer.Finish();
        return run;
    }
    void MoveWorkArea(const RECT& area)
    {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &savedWorkArea_, 0);
        ASSERT_TRUE(SystemParametersInfoA(SPI_SETWORKAREA, 0, (void*)&area, 0));
        workAreaMoved_ = true;
    }

    PayloadHeader header_;
    std::string folder_;
    BOOL shortcutExists_ = FALSE;
    RECT savedWorkArea_ = {};
    bool workAreaMoved_ = false;
};

TEST_F(ShortcutDialog, WithoutExistingShortcutBothBoxesStartCheckedAndOkCreatesBoth)
{
    DialogRun run = Run(PressOk);
    ASSERT_NE(run.dialog, nullptr);
    EXPECT_EQ(run.desktopCheck, BST_CHECKED);
    EXPECT_EQ(run.programsCheck, BST_CHECKED);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(AddedTo(desktop_), std::vector<std::string>{"Morlu2.lnk"});
    EXPECT_EQ(AddedTo(programs_), std::vector<std::string>{"Morlu2.lnk"});
    EXPECT_EQ(ReadLink(desktop_ + "\\Morlu2.lnk").path, folder_ + "\\Morlu.exe");
    EXPECT_EQ(ReadLink(programs_ + "\\Morlu2.lnk").description, "Morlu2");
    EXPECT_TRUE(run.boxes.empty()) << Describe(run.boxes);
}

TEST_F(ShortcutDialog, ShowsItsTextsTitledWithTheCaptionAndOwnedByTheProgressWindow)
{
    DialogRun run = Run(PressOk);
    ASSERT_NE(run.dialog, nullptr);
    EXPECT_EQ(run.title, "Morlu2 1.10 のｲﾝｽﾄｰﾙ ");
    EXPECT_EQ(run.owner, progressWindow);
    EXPECT_EQ(run.message, "ｼｮｰﾄｶｯﾄを作成する場所を指定してください｡");
    EXPECT_EQ(run.desktopText, "ﾃﾞｽｸﾄｯﾌﾟ ｱｲｺﾝ(&D)");
    EXPECT_EQ(run.programsText, "[ｽﾀｰﾄ]-[ﾌﾟﾛｸﾞﾗﾑ]の項目(&S)");
    EXPECT_EQ(run.okText, "OK");
}

TEST_F(ShortcutDialog, WithExistingShortcutBothBoxesStartUncheckedAndNothingIsCreated)
{
    shortcutExists_ = TRUE;
    DialogRun run = Run(PressOk);
    ASSERT_NE(run.dialog, nullptr);
    EXPECT_EQ(run.desktopCheck, BST_UNCHECKED);
    EXPECT_EQ(run.programsCheck, BST_UNCHECKED);
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(AddedTo(desktop_).empty());
    EXPECT_TRUE(AddedTo(programs_).empty());
    EXPECT_TRUE(run.boxes.empty()) << Describe(run.boxes);
}

TEST_F(ShortcutDialog, BothUncheckedByTheUserCreatesNothingAndShowsNothing)
{
    int desktop = -1;
    int programs = -1;
    DialogRun run = Run([&](HWND dialog) {
        Click(dialog, IDC_DESKTOP_SHORTCUT);
        Click(dialog, IDC_PROGRAMS_SHORTCUT);
        desktop = CheckStateOf(dialog, IDC_DESKTOP_SHORTCUT);
        programs = CheckStateOf(dialog, IDC_PROGRAMS_SHORTCUT);
        PressOk(dialog);
    });
    EXPECT_EQ(desktop, BST_UNCHECKED);
    EXPECT_EQ(programs, BST_UNCHECKED);
    EXPECT_TRUE(AddedTo(desktop_).empty());
    EXPECT_TRUE(AddedTo(programs_).empty());
    EXPECT_TRUE(run.boxes.empty()) << Describe(run.boxes);
}

TEST_F(ShortcutDialog, EscapeActsAsOk)
{
    DialogRun run = Run([](HWND dialog) {
        Click(dialog, IDC_DESKTOP_SHORTCUT);
        PressEscape(dialog);
    });
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(AddedTo(desktop_).empty());
    EXPECT_EQ(AddedTo(programs_), std::vector<std::string>{"Morlu2.lnk"});
}

TEST_F(ShortcutDialog, CloseBoxActsAsOk)
{
    DialogRun run = Run([](HWND dialog) {
        Click(dialog, IDC_PROGRAMS_SHORTCUT);
        PressCloseBox(dialog);
    });
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(AddedTo(desktop_), std::vector<std::string>{"Morlu2.lnk"});
    EXPECT_TRUE(AddedTo(programs_).empty());
}

TEST_F(ShortcutDialog, OtherCommandsLeaveItOpen)
{
    bool openAfterwards = false;
    size_t createdMeanwhile = 99;
    DialogRun run = Run([&](HWND dialog) {
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        HWND desktopBox = GetDlgItem(dialog, IDC_DESKTOP_SHORTCUT);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DESKTOP_SHORTCUT, BN_CLICKED), (LPARAM)desktopBox);
        Sleep(300);
        openAfterwards = IsWindow(dialog) && IsWindowVisible(dialog);
        createdMeanwhile = AddedTo(desktop_).size() + AddedTo(programs_).size();
        PressOk(dialog);
    });
    ASSERT_NE(run.dialog, nullptr);
    EXPECT_TRUE(openAfterwards);
    EXPECT_EQ(createdMeanwhile, 0u);
    EXPECT_EQ(AddedTo(desktop_), std::vector<std::string>{"Morlu2.lnk"});
    EXPECT_EQ(AddedTo(programs_), std::vector<std::string>{"Morlu2.lnk"});
}

TEST_F(ShortcutDialog, MissingDesktopIsToldAndTheStartMenuEntryStillMade)
{
    HideDesktop();
    DialogRun run = Run(PressOk);
    ASSERT_EQ(run.boxes.size(), 1u) << Describe(run.boxes);
    EXPECT_EQ(run.boxes[0].info.text, "ｼｮｰﾄｶｯﾄを置くﾌｫﾙﾀﾞがみつかりません。");
    EXPECT_EQ(run.boxes[0].info.caption, "Morlu2 1.10 のｲﾝｽﾄｰﾙ");
    EXPECT_EQ(run.boxes[0].info.owner, run.dialog);
    EXPECT_TRUE(run.boxes[0].ownerVisible) << "the dialog is still open under the box";
    EXPECT_TRUE(run.boxes[0].info.warningIcon);
    EXPECT_EQ(AddedTo(programs_), std::vector<std::string>{"Morlu2.lnk"});
}

TEST_F(ShortcutDialog, FullDesktopIsToldOnceAndTheStartMenuEntryStillMade)
{
    ASSERT_TRUE(CreateDirectoryA((desktop_ + "\\Morlu2.lnk").c_str(), NULL));
    for (int n = 2; n <= 999; ++n)
        ASSERT_TRUE(CreateDirectoryA((desktop_ + "\\Morlu2(" + std::to_string(n) + ").lnk").c_str(), NULL));
    DialogRun run = Run(PressOk);
    ASSERT_EQ(run.boxes.size(), 1u) << Describe(run.boxes);
    EXPECT_EQ(run.boxes[0].info.text, "ｼｮｰﾄｶｯﾄを作れません。");
    EXPECT_EQ(run.boxes[0].info.owner, run.dialog);
    EXPECT_TRUE(run.boxes[0].ownerVisible);
    EXPECT_TRUE(run.boxes[0].info.warningIcon);
    EXPECT_EQ(AddedTo(desktop_).size(), 999u);
    EXPECT_EQ(AddedTo(programs_), std::vector<std::string>{"Morlu2.lnk"});
}

TEST_F(ShortcutDialog, CentredInTheWorkAreaWithTheTaskBarAtTopAndLeft)
{
    RECT screen;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &screen, 0);
    RECT area = {screen.left + 101, screen.top + 37, screen.right, screen.bottom};
    MoveWorkArea(area);
    DialogRun run = Run(PressOk);
    ASSERT_NE(run.dialog, nullptr);
    int width = run.rect.right - run.rect.left;
    int height = run.rect.bottom - run.rect.top;
    EXPECT_EQ(run.rect.left, (area.left + area.right) / 2 - width / 2);
    EXPECT_EQ(run.rect.top, (area.top + area.bottom) / 2 - height / 2);
}

TEST_F(ShortcutDialog, TallerThanTheWorkAreaItsBottomEdgeWins)
{
    RECT screen;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &screen, 0);
    RECT area = {screen.left + 50, screen.top + 40, screen.left + 450, screen.top + 100};
    MoveWorkArea(area);
    DialogRun run = Run(PressOk);
    ASSERT_NE(run.dialog, nullptr);
    ASSERT_GT(run.rect.bottom - run.rect.top, area.bottom - area.top);
    EXPECT_EQ(run.rect.bottom, area.bottom);
    EXPECT_LT(run.rect.top, area.top);
    EXPECT_EQ(run.rect.left, (area.left + area.right) / 2 - (run.rect.right - run.rect.left) / 2);
}

// The template as the resource holds it.
struct ItemTemplate {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    int id;
    std::string className;
    std::string text;
};

class TemplateReader {
public:
    explicit TemplateReader(const void* data) : p_((const BYTE*)data) {}
    WORD Word() { WORD w; memcpy(&w, p_, 2); p_ += 2; return w; }
    DWORD Dword() { DWORD d; memcpy(&d, p_, 4); p_ += 4; return d; }
    BYTE Byte() { return *p_++; }
    std::string Text()
    {
        std::wstring wide;
        for (WORD c = Word(); c != 0; c = Word())
            wide += (WCHAR)c;
        char text[1024] = "";
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, text, sizeof text, NULL, NULL);
        return text;
    }
    // A text, or 0xFFFF and an ordinal ("#n").
    std::string NameOrOrdinal()
    {
        WORD first;
        memcpy(&first, p_, 2);
        if (first == 0xFFFF) {
            Word();
            return "#" + std::to_string(Word());
        }
        return Text();
    }
    void AlignDword(const void* base) { p_ += (4 - ((p_ - (const BYTE*)base) & 3)) & 3; }

private:
    const BYTE* p_;
};

TEST(ShortcutDialogTemplate, IsTheJapaneseDialogWithFourControls)
{
    HMODULE module = GetModuleHandleA(NULL);
    HRSRC resource = FindResourceExA(module, (LPCSTR)RT_DIALOG, MAKEINTRESOURCEA(IDD_SHORTCUTS),
                                     MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    ASSERT_NE(resource, nullptr);
    const void* data = LockResource(LoadResource(module, resource));
    TemplateReader reader(data);
    ASSERT_EQ(reader.Word(), 1);      // version
    ASSERT_EQ(reader.Word(), 0xFFFF); // extended template
    reader.Dword();                   // help id
    EXPECT_EQ(reader.Dword(), 0u);    // extended style
    EXPECT_EQ(reader.Dword(), (DWORD)(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    WORD count = reader.Word();
    ASSERT_EQ(count, 4);
    EXPECT_EQ((short)reader.Word(), 0);
    EXPECT_EQ((short)reader.Word(), 0);
    EXPECT_EQ((short)reader.Word(), 169);
    EXPECT_EQ((short)reader.Word(), 85);
    EXPECT_EQ(reader.NameOrOrdinal(), "") << "menu";
    EXPECT_EQ(reader.NameOrOrdinal(), "") << "class";
    EXPECT_EQ(reader.Text(), "") << "title";
    EXPECT_EQ(reader.Word(), 9);   // points
    EXPECT_EQ(reader.Word(), 0);   // weight
    EXPECT_EQ(reader.Byte(), 0);   // italic
    EXPECT_EQ(reader.Byte(), 0);   // character set
    EXPECT_EQ(reader.Text(), "ＭＳ Ｐゴシック");

    const DWORD child = WS_CHILD | WS_VISIBLE;
    const ItemTemplate expected[4] = {
        {SS_LEFT | child | WS_GROUP, 0, 10, 10, 145, 8, -1, "#130", "ｼｮｰﾄｶｯﾄを作成する場所を指定してください｡"},
        {BS_AUTOCHECKBOX | child | WS_TABSTOP | WS_GROUP, 0, 10, 25, 145, 10, 1002, "#128", "ﾃﾞｽｸﾄｯﾌﾟ ｱｲｺﾝ(&D)"},
        {BS_AUTOCHECKBOX | child | WS_TABSTOP, 0, 10, 40, 145, 10, 1003, "#128", "[ｽﾀｰﾄ]-[ﾌﾟﾛｸﾞﾗﾑ]の項目(&S)"},
        {BS_DEFPUSHBUTTON | child | WS_TABSTOP, 0, 60, 60, 50, 14, 2, "#128", "OK"},
    };
    for (const ItemTemplate& item : expected) {
        reader.AlignDword(data);
        reader.Dword(); // help id
        EXPECT_EQ(reader.Dword(), item.exStyle) << item.text;
        EXPECT_EQ(reader.Dword(), item.style) << item.text;
        EXPECT_EQ((short)reader.Word(), item.x) << item.text;
        EXPECT_EQ((short)reader.Word(), item.y) << item.text;
        EXPECT_EQ((short)reader.Word(), item.cx) << item.text;
        EXPECT_EQ((short)reader.Word(), item.cy) << item.text;
        EXPECT_EQ((int)reader.Dword(), item.id) << item.text;
        std::string className = reader.NameOrOrdinal();
        // A class may be stored by name or by its predefined ordinal.
        if (className == "Button" || className == "BUTTON")
            className = "#128";
        if (className == "Static" || className == "STATIC")
            className = "#130";
        EXPECT_EQ(className, item.className) << item.text;
        EXPECT_EQ(reader.NameOrOrdinal(), item.text);
        EXPECT_EQ(reader.Word(), 0) << "no creation data";
    }
}

} // namespace
