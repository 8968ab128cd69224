#include "shell_folder_test.h"

#include <shlobj.h>

#include <stdio.h>

#include <algorithm>
#include <set>

#include "installer_run.h"

static const char kOwnDesktopHint[] = "tests/shortcuts/own-desktop";
static const char kUserShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
// The older copy of the expanded paths, which some programs still read.
static const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
static const char kDefaultDesktop[] = "%USERPROFILE%\\Desktop";
static const char kScratchName[] = "morlu-shortcut-tests";

static std::string ReadDesktopSetting(const char* key)
{
    char value[1024] = "";
    DWORD size = sizeof value;
    RegGetValueA(HKEY_CURRENT_USER, key, "Desktop", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, NULL,
                 value, &size);
    return value;
}

static bool WriteDesktopSetting(const char* key, DWORD type, const std::string& value)
{
    HKEY handle;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_SET_VALUE, &handle) != ERROR_SUCCESS)
        return false;
    LONG result = RegSetValueExA(handle, "Desktop", 0, type, (const BYTE*)value.c_str(), (DWORD)value.size() + 1);
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

// The settings as a test found them, while it keeps the Desktop hidden.
static std::string savedUserDesktop;
static std::string savedDesktop;
static bool desktopHidden;

static void RestoreDesktop()
{
    if (!desktopHidden)
        return;
    WriteDesktopSetting(kUserShellFolders, REG_EXPAND_SZ, savedUserDesktop);
    WriteDesktopSetting(kShellFolders, REG_SZ, savedDesktop);
    desktopHidden = false;
}

// A crash would otherwise leave the prefix's Desktop hidden for every other program.
static LONG WINAPI RestoreDesktopAndEnd(EXCEPTION_POINTERS*)
{
    RestoreDesktop();
    fprintf(stderr, "crashed while the Desktop was hidden; it is restored\n");
    ExitProcess(3);
}

static std::wstring Wide(const std::string& text)
{
    WCHAR wide[4096];
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, 4096);
    return wide;
}

// As RemoveTree, but also below MAX_PATH's reach, where some tests put things.
static void RemoveLongTree(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name != L"." && name != L"..")
                RemoveLongTree(path + L"\\" + name);
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

static void RemoveLongTree(const std::string& path)
{
    RemoveLongTree(L"\\\\?\\" + Wide(path));
}

void ShellFolderTest::SetUp()
{
    ASSERT_EQ(CoInitialize(NULL), S_OK);
    lock_ = CreateMutexA(NULL, FALSE, "morlu2-shell-folder-tests");
    ASSERT_NE(lock_, nullptr);
    WaitForSingleObject(lock_, INFINITE);

    // A test killed while the Desktop was hidden left it pointing into its scratch folder.
    if (ReadDesktopSetting(kUserShellFolders).find(kScratchName) != std::string::npos ||
        ReadDesktopSetting(kShellFolders).find(kScratchName) != std::string::npos) {
        char expanded[MAX_PATH];
        ExpandEnvironmentStringsA(kDefaultDesktop, expanded, MAX_PATH);
        WriteDesktopSetting(kUserShellFolders, REG_EXPAND_SZ, kDefaultDesktop);
        WriteDesktopSetting(kShellFolders, REG_SZ, expanded);
    }

    char path[MAX_PATH];
    ASSERT_EQ(SHGetFolderPathA(NULL, CSIDL_DESKTOPDIRECTORY, NULL, 0, path), S_OK);
    desktop_ = path;
    ASSERT_EQ(SHGetFolderPathA(NULL, CSIDL_PROGRAMS, NULL, 0, path), S_OK);
    programs_ = path;
    DWORD attributes = GetFileAttributesA(desktop_.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << desktop_;
    // A link out of the prefix would be the Unix home: nothing of a test belongs there.
    ASSERT_EQ(attributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u)
        << desktop_ << " links out of the prefix; run " << kOwnDesktopHint;

    // Otherwise wine mirrors every shortcut saved here into the host's menus.
    HKEY overrides;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", 0, NULL, 0, KEY_WRITE, NULL,
                              &overrides, NULL),
              ERROR_SUCCESS);
    RegSetValueExA(overrides, "winemenubuilder.exe", 0, REG_SZ, (const BYTE*)"", 1);
    RegCloseKey(overrides);

    desktopBefore_ = FolderEntries(desktop_);
    programsBefore_ = FolderEntries(programs_);
    GetTempPathA(MAX_PATH, path);
    scratch_ = std::string(path) + kScratchName;
    RemoveLongTree(scratch_);
    ASSERT_TRUE(CreateDirectoryA(scratch_.c_str(), NULL));
}

static void RemoveAdded(const std::string& folder, const std::vector<std::string>& before)
{
    for (const std::string& name : FolderEntries(folder)) {
        if (std::find(before.begin(), before.end(), name) == before.end())
            RemoveLongTree(folder + "\\" + name);
    }
}

void ShellFolderTest::TearDown()
{
    RestoreDesktop();
    if (!desktop_.empty()) {
        RemoveAdded(desktop_, desktopBefore_);
        RemoveAdded(programs_, programsBefore_);
    }
    if (!scratch_.empty())
        RemoveLongTree(scratch_);
    if (lock_ != NULL) {
        ReleaseMutex(lock_);
        CloseHandle(lock_);
    }
    CoUninitialize();
}

void ShellFolderTest::HideDesktop(bool makeShellDesktopFirst)
{
    RedirectDesktop(scratch_ + "\\Desktop that is gone", makeShellDesktopFirst);
}

void ShellFolderTest::RedirectDesktop(const std::string& folder, bool makeShellDesktopFirst)
{
    IShellFolder* shellDesktop = NULL;
    if (makeShellDesktopFirst && SUCCEEDED(SHGetDesktopFolder(&shellDesktop)))
        shellDesktop->Release();
    if (!desktopHidden) {
        savedUserDesktop = ReadDesktopSetting(kUserShellFolders);
        savedDesktop = ReadDesktopSetting(kShellFolders);
        ASSERT_NE(savedUserDesktop, "");
        SetUnhandledExceptionFilter(RestoreDesktopAndEnd);
        desktopHidden = true;
    }
    ASSERT_TRUE(WriteDesktopSetting(kUserShellFolders, REG_EXPAND_SZ, folder));
}

std::vector<std::string> ShellFolderTest::AddedTo(const std::string& folder) const
{
    const std::vector<std::string>& before = folder == desktop_ ? desktopBefore_ : programsBefore_;
    std::vector<std::string> added;
    for (const std::string& name : FolderEntries(folder)) {
        if (std::find(before.begin(), before.end(), name) == before.end())
            added.push_back(name);
    }
    std::sort(added.begin(), added.end());
    return added;
}

bool WriteLink(const std::string& linkPath, const std::string& target)
{
    IShellLinkA* link = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link)))
        return false;
    link->SetPath(target.c_str());
    IPersistFile* file = NULL;
    HRESULT saved = link->QueryInterface(IID_IPersistFile, (void**)&file);
    if (SUCCEEDED(saved)) {
        saved = file->Save(Wide(linkPath).c_str(), TRUE);
        file->Release();
    }
    link->Release();
    return saved == S_OK;
}

LinkFields ReadLink(const std::string& linkPath)
{
    LinkFields fields;
    IShellLinkA* link = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link)))
        return fields;
    IPersistFile* file = NULL;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
        if (file->Load(Wide(linkPath).c_str(), STGM_READ) == S_OK) {
            fields.loaded = true;
            char text[1024];
            WIN32_FIND_DATAA unused;
            text[0] = '\0';
            link->GetPath(text, sizeof text, &unused, SLGP_RAWPATH);
            fields.path = text;
            text[0] = '\0';
            link->GetWorkingDirectory(text, sizeof text);
            fields.workingDirectory = text;
            text[0] = '\0';
            link->GetDescription(text, sizeof text);
            fields.description = text;
            text[0] = '\0';
            link->GetIconLocation(text, sizeof text, &fields.iconIndex);
            fields.iconPath = text;
            text[0] = '\0';
            link->GetArguments(text, sizeof text);
            fields.arguments = text;
            link->GetHotkey(&fields.hotkey);
        }
        file->Release();
    }
    link->Release();
    return fields;
}

void WriteTextFile(const std::string& path, const std::string& text)
{
    ASSERT_TRUE(WriteFileBytes(path, Bytes(text.begin(), text.end()))) << path;
}

std::string ReadTextFile(const std::string& path)
{
    Bytes bytes;
    ReadFileBytes(path, &bytes);
    return std::string(bytes.begin(), bytes.end());
}

std::string ShortPathOf(const std::string& path)
{
    char shortPath[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), shortPath, MAX_PATH);
    return length != 0 && length < MAX_PATH ? std::string(shortPath) : std::string();
}

std::string Upper(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
    }
    return text;
}

bool CreateLongDirectory(const std::string& path)
{
    return CreateDirectoryW((L"\\\\?\\" + Wide(path)).c_str(), NULL) != FALSE;
}

bool MoveToLongPath(const std::string& from, const std::string& to)
{
    return MoveFileW(Wide(from).c_str(), (L"\\\\?\\" + Wide(to)).c_str()) != FALSE;
}

std::string Describe(const std::vector<SeenBox>& boxes)
{
    std::string text;
    for (const SeenBox& box : boxes)
        text += "[" + box.info.caption + "] " + box.info.text + "\n";
    return text;
}

BoxAnswerer::BoxAnswerer()
{
    stop_ = CreateEventA(NULL, TRUE, FALSE, NULL);
    thread_ = CreateThread(NULL, 0, Run, this, 0, NULL);
}

BoxAnswerer::~BoxAnswerer()
{
    Finish();
}

std::vector<SeenBox> BoxAnswerer::Finish()
{
    if (thread_ != NULL) {
        SetEvent(stop_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        CloseHandle(stop_);
        thread_ = NULL;
    }
    return boxes_;
}

DWORD WINAPI BoxAnswerer::Run(LPVOID self)
{
    BoxAnswerer* answerer = (BoxAnswerer*)self;
    std::set<HWND> seen;
    while (WaitForSingleObject(answerer->stop_, 20) == WAIT_TIMEOUT) {
        // A closed box's handle may come back for the next one.
        for (auto it = seen.begin(); it != seen.end();)
            it = IsWindow(*it) ? std::next(it) : seen.erase(it);
        for (HWND window : TopLevelWindowsOf(GetCurrentProcessId())) {
            if (!IsMessageBox(window) || seen.count(window))
                continue;
            seen.insert(window);
            SeenBox box;
            box.info = ReadMessageBox(window);
            box.ownerVisible = box.info.owner != NULL && IsWindowVisible(box.info.owner);
            answerer->boxes_.push_back(box);
            PressButton(window, IDOK);
        }
    }
    return 0;
}
