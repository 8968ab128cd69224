// Whole installations for users whose names code page 932 cannot spell. CTest
// runs this program in a wine prefix made for the user 김철수, so the profile,
// its Temp, Desktop and Start Menu lie outside CP932; the installer is saved
// in a folder named so too. Paths here are wide: this process is as unable as
// the installer was to name them in its ANSI code page.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "demo_installers.h"
#include "installer_run.h"
#include "resources/resource_ids.h"
#include "window_probe.h"

namespace {

const char kCompletion[] = "Morlu2 のｲﾝｽﾄｰﾙが完了しました｡ \r\n\r\nﾘﾘｰｽﾉｰﾄを表示しますか?\r\n"
                           "(ｲﾝｽﾄｰﾙ先のﾌｫﾙﾀﾞの「Morlu.txt」を開けばいつでも表示できます)";
const wchar_t kInstallFolder[] = L"C:\\morlu-any-user\\installed";

bool FitsCp932(const std::wstring& text)
{
    char bytes[1024];
    wchar_t back[512];
    int size = WideCharToMultiByte(932, 0, text.c_str(), -1, bytes, sizeof bytes, NULL, NULL);
    return size > 0 && MultiByteToWideChar(932, 0, bytes, -1, back, 512) > 0 && text == back;
}

std::wstring FolderOf(int csidl)
{
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(NULL, csidl, NULL, 0, path);
    return path;
}

std::vector<std::wstring> Entries(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
}

void RemoveTreeW(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    for (const std::wstring& name : Entries(path))
        RemoveTreeW(path + L"\\" + name);
    RemoveDirectoryW(path.c_str());
}

// A fresh, empty folder, its parents made as needed.
void FreshFolder(const std::wstring& path)
{
    RemoveTreeW(path);
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), NULL);
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), NULL));
}

// The target of a shortcut file, read independently of the installer's code.
std::wstring LinkTarget(const std::wstring& link)
{
    std::wstring target;
    IShellLinkW* shellLink = NULL;
    IPersistFile* file = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void**)&shellLink)))
        return L"<no shell link>";
    wchar_t path[MAX_PATH] = L"";
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, (void**)&file))) {
        if (SUCCEEDED(file->Load(link.c_str(), STGM_READ)) &&
            SUCCEEDED(shellLink->GetPath(path, MAX_PATH, NULL, SLGP_RAWPATH)))
            target = path;
        file->Release();
    }
    shellLink->Release();
    return target;
}

void RemoveDemoShortcuts()
{
    for (int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_PROGRAMS}) {
        std::wstring folder = FolderOf(csidl);
        for (const std::wstring& name : Entries(folder)) {
            if (name.compare(0, 6, L"Morlu2") == 0)
                DeleteFileW((folder + L"\\" + name).c_str());
        }
    }
}

class AnyUser : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(NULL);
        profile_ = FolderOf(CSIDL_PROFILE);
        ASSERT_FALSE(FitsCp932(profile_)) << "this prefix's user must be named outside code page 932";
        RemoveDemoShortcuts();
        RemoveTreeW(L"C:\\morlu-any-user");
    }
    void TearDown() override
    {
        if (process_.hProcess != NULL) {
            TerminateProcess(process_.hProcess, 99);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        RemoveDemoShortcuts();
        RemoveTreeW(L"C:\\morlu-any-user");
        RemoveTreeW(L"C:\\dl");
        if (!downloads_.empty())
            RemoveTreeW(downloads_);
        CoUninitialize();
    }

    // Saves the demo installer, installing into kInstallFolder, in folder and
    // starts it with TMP and TEMP at temp.
    void Start(const std::wstring& folder, const std::wstring& temp)
    {
        DemoInstaller demo = LoadDemoInstaller();
        AddControlFile(&demo, "folder=C:\\morlu-any-user\\installed\n");
        Bytes image = ImageOf(demo);
        ASSERT_NO_FATAL_FAILURE(FreshFolder(folder));
        ASSERT_NO_FATAL_FAILURE(FreshFolder(temp));
        std::wstring program = folder + L"\\setup.exe";
        HANDLE file = CreateFileW(program.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, image.data(), (DWORD)image.size(), &written, NULL);
        CloseHandle(file);
        ASSERT_EQ(written, image.size());

        SetEnvironmentVariableW(L"TMP", temp.c_str());
        SetEnvironmentVariableW(L"TEMP", temp.c_str());
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        std::wstring commandLine = L"\"" + program + L"\"";
        ASSERT_TRUE(CreateProcessW(program.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, folder.c_str(),
                                   &startup, &process_));
    }

    // The run up to the shortcut dialog, both boxes checked.
    HWND WaitForShortcutDialog()
    {
        EXPECT_NE(WaitForWindow(process_.dwProcessId, IsProgressWindow, 20000), nullptr);
        HWND dialog = WaitForWindow(
            process_.dwProcessId, [](HWND window) { return IsShortcutDialog(window) || IsMessageBox(window); },
            20000);
        if (dialog != NULL && IsMessageBox(dialog)) {
            ADD_FAILURE() << "a box instead of the shortcut dialog: " << ReadMessageBox(dialog).text;
            dialog = NULL;
        }
        if (dialog != NULL) {
            EXPECT_EQ(CheckStateOf(dialog, IDC_DESKTOP_SHORTCUT), BST_CHECKED);
            EXPECT_EQ(CheckStateOf(dialog, IDC_PROGRAMS_SHORTCUT), BST_CHECKED);
        }
        return dialog;
    }

    // Closes the dialog; the next box must be the completion question, not a
    // warning, and the run must end well with its work folder gone.
    void Finish(HWND dialog, const std::wstring& temp)
    {
        ASSERT_TRUE(Answer(dialog, IDCANCEL));
        HWND question = WaitForWindow(process_.dwProcessId, IsMessageBox, 20000);
        ASSERT_NE(question, nullptr);
        EXPECT_EQ(ReadMessageBox(question).text, kCompletion);
        PressButton(question, IDNO);
        ASSERT_EQ(WaitForSingleObject(process_.hProcess, WaitLimit(20000)), WAIT_OBJECT_0);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.hProcess, &code);
        EXPECT_EQ(code, 0u);
        EXPECT_TRUE(Entries(temp).empty()) << "the work folder stays";
    }

    void ExpectBothShortcuts()
    {
        for (int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_PROGRAMS}) {
            std::wstring link = FolderOf(csidl) + L"\\Morlu2.lnk";
            EXPECT_EQ(LinkTarget(link), std::wstring(kInstallFolder) + L"\\Morlu.exe") << Cp932Of(link.c_str(), -1);
        }
    }

    std::wstring profile_;
    std::wstring downloads_;
    PROCESS_INFORMATION process_ = {};
};

TEST_F(AnyUser, InstallsFromAFolderNamedLikeTheUserWithTempInTheProfile)
{
    std::wstring temp = profile_ + L"\\Temp\\morlu-any-user";
    Start(L"C:\\dl\\김", temp);
    HWND dialog = WaitForShortcutDialog();
    ASSERT_NE(dialog, nullptr);
    Finish(dialog, temp);
    ExpectBothShortcuts();
    RemoveTreeW(temp);
}

TEST_F(AnyUser, TempElsewhereStillGetsBothShortcuts)
{
    std::wstring temp = L"C:\\morlu-any-user\\temp";
    downloads_ = profile_ + L"\\Downloads\\morlu-any-user";
    Start(downloads_, temp);
    HWND dialog = WaitForShortcutDialog();
    ASSERT_NE(dialog, nullptr);
    Finish(dialog, temp);
    ExpectBothShortcuts();
}

// José's é has no CP932 form; its best fit e would name another user's folder.
TEST_F(AnyUser, WorkFolderLandsInJosesTempNotInJoses)
{
    std::wstring jose = L"C:\\users\\Jos\u00e9\\Temp\\morlu-any-user";
    std::wstring lookAlike = L"C:\\users\\Jose\\Temp\\morlu-any-user";
    ASSERT_NO_FATAL_FAILURE(FreshFolder(lookAlike));
    Start(L"C:\\dl\\setup", jose);
    HWND dialog = WaitForShortcutDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Entries(jose), std::vector<std::wstring>{L"RAREVURED0"});
    EXPECT_TRUE(Entries(lookAlike).empty());
    Finish(dialog, jose);
    RemoveTreeW(L"C:\\users\\Jos\u00e9");
    RemoveTreeW(L"C:\\users\\Jose");
}

} // namespace
