#include "installer_run.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include "resources/resource_ids.h"
#include "window_probe.h"

Bytes StubImage()
{
    Bytes image;
    EXPECT_TRUE(ReadFileBytes(MORLU_BUILD_DIR "\\setup-stub.exe", &image));
    return image;
}

static std::string TestsRoot()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string root = std::string(temp) + "morlu-tests";
    CreateDirectoryA(root.c_str(), NULL);
    return root;
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = entry.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return names;
}

void RemoveTree(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        return;
    }
    for (const std::string& name : FolderEntries(path))
        RemoveTree(path + "\\" + name);
    RemoveDirectoryA(path.c_str());
}

static const char kAppDefaults[] = "Software\\Wine\\AppDefaults\\";

InstallerRun::InstallerRun(const std::string& name, const Bytes& image) : name_(name)
{
    folder_ = TestsRoot() + "\\" + name;
    RemoveTree(folder_);
    CreateDirectoryA(folder_.c_str(), NULL);
    program_ = folder_ + "\\" + name + ".exe";
    temp_ = folder_ + "\\temp";
    current_ = folder_;
    CreateDirectoryA(temp_.c_str(), NULL);
    EXPECT_TRUE(WriteFileBytes(program_, image));
}

InstallerRun::~InstallerRun()
{
    if (process_.hProcess != NULL) {
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.hProcess, 99);
            WaitForSingleObject(process_.hProcess, 5000);
        }
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
    if (versionSet_)
        RegDeleteKeyA(HKEY_CURRENT_USER, (std::string(kAppDefaults) + name_ + ".exe").c_str());
    RemoveTree(folder_);
}

void InstallerRun::SetWindowsVersion(const char* version)
{
    HKEY key;
    std::string path = std::string(kAppDefaults) + name_ + ".exe";
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, NULL, 0, KEY_WRITE,
                                             NULL, &key, NULL));
    RegSetValueExA(key, "Version", 0, REG_SZ, (const BYTE*)version, lstrlenA(version) + 1);
    RegCloseKey(key);
    versionSet_ = true;
}

bool InstallerRun::Start(bool suspended)
{
    // The child inherits this process's environment with the temporary folder replaced.
    std::string previousTmp(32768, '\0');
    std::string previousTemp(32768, '\0');
    DWORD tmpLength = GetEnvironmentVariableA("TMP", &previousTmp[0], 32768);
    DWORD tempLength = GetEnvironmentVariableA("TEMP", &previousTemp[0], 32768);
    SetEnvironmentVariableA("TMP", temp_.c_str());
    SetEnvironmentVariableA("TEMP", temp_.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + program_ + "\"";
    BOOL started = CreateProcessA(program_.c_str(), &commandLine[0], NULL, NULL, FALSE,
                                  suspended ? CREATE_SUSPENDED : 0, NULL,
                                  current_.c_str(), &startup, &process_);
    SetEnvironmentVariableA("TMP", tmpLength ? previousTmp.c_str() : NULL);
    SetEnvironmentVariableA("TEMP", tempLength ? previousTemp.c_str() : NULL);
    return started != FALSE;
}

DWORD InstallerRun::WaitForExit(DWORD timeoutMs)
{
    if (WaitForSingleObject(process_.hProcess, WaitLimit(timeoutMs)) != WAIT_OBJECT_0) {
        TerminateProcess(process_.hProcess, 99);
        WaitForSingleObject(process_.hProcess, 5000);
        return kStillRunning;
    }
    DWORD code = kStillRunning;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

HWND InstallerRun::WaitForMessageBox(DWORD timeoutMs)
{
    return WaitForWindow(processId(), IsMessageBox, timeoutMs);
}

bool IsProgressWindow(HWND window)
{
    // The step ids alone are not unique: the shortcut dialog reuses 1003.
    return GetDlgItem(window, IDC_STEP4_MARKER) != NULL && GetDlgItem(window, IDC_STEP4_LABEL) != NULL;
}

bool IsShortcutDialog(HWND window)
{
    return ClassNameOf(window) == "#32770" && ClassNameOf(GetDlgItem(window, IDC_DESKTOP_SHORTCUT)) == "Button";
}

HWND FindNotepadShowing(const char* fileName)
{
    for (HWND window = FindWindowExA(NULL, NULL, "Notepad", NULL); window != NULL;
         window = FindWindowExA(NULL, window, "Notepad", NULL)) {
        if (WindowTextOf(window).find(fileName) != std::string::npos)
            return window;
    }
    return NULL;
}

std::string SpecialFolder(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(NULL, csidl, NULL, 0, path);
    return path;
}

std::vector<std::string> DemoShortcuts()
{
    std::vector<std::string> found;
    for (int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_PROGRAMS}) {
        std::string folder = SpecialFolder(csidl);
        for (const std::string& name : FolderEntries(folder)) {
            if (name.compare(0, 6, "Morlu2") == 0 && name.size() > 4 &&
                lstrcmpiA(name.c_str() + name.size() - 4, ".lnk") == 0)
                found.push_back(folder + "\\" + name);
        }
    }
    return found;
}

int StepShown(HWND progress)
{
    const int markers[5] = {IDC_STEP0_MARKER, IDC_STEP1_MARKER, IDC_STEP2_MARKER, IDC_STEP3_MARKER,
                            IDC_STEP4_MARKER};
    for (int i = 0; i < 5; ++i) {
        if (ItemTextOf(progress, markers[i]) == "→")
            return i;
    }
    return -1;
}

HWND InstallerRun::WaitForProgressWindow(DWORD timeoutMs)
{
    return WaitForWindow(processId(), IsProgressWindow, timeoutMs);
}

std::vector<std::string> InstallerRun::TempEntries() const
{
    return FolderEntries(temp_);
}

FolderWatch::FolderWatch(const std::string& folder, bool subtree) : subtree_(subtree)
{
    InitializeCriticalSection(&lock_);
    directory_ = CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, NULL);
    stop_ = CreateEventA(NULL, TRUE, FALSE, NULL);
    thread_ = CreateThread(NULL, 0, Run, this, 0, NULL);
}

FolderWatch::~FolderWatch()
{
    SetEvent(stop_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(stop_);
    CloseHandle(directory_);
    DeleteCriticalSection(&lock_);
}

std::vector<std::string> FolderWatch::Added()
{
    EnterCriticalSection(&lock_);
    std::vector<std::string> copy = added_;
    LeaveCriticalSection(&lock_);
    return copy;
}

DWORD WINAPI FolderWatch::Run(LPVOID context)
{
    FolderWatch* self = (FolderWatch*)context;
    alignas(DWORD) char buffer[16384];
    OVERLAPPED overlapped = {};
    overlapped.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    for (;;) {
        ResetEvent(overlapped.hEvent);
        if (!ReadDirectoryChangesW(self->directory_, buffer, sizeof buffer, self->subtree_,
                                   FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME, NULL,
                                   &overlapped, NULL))
            break;
        HANDLE waits[2] = {overlapped.hEvent, self->stop_};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
            CancelIo(self->directory_);
            break;
        }
        DWORD bytes = 0;
        if (!GetOverlappedResult(self->directory_, &overlapped, &bytes, FALSE) || bytes == 0)
            continue;
        for (const char* p = buffer;;) {
            const FILE_NOTIFY_INFORMATION* note = (const FILE_NOTIFY_INFORMATION*)p;
            if (note->Action == FILE_ACTION_ADDED || note->Action == FILE_ACTION_RENAMED_NEW_NAME) {
                std::string name = Cp932Of(note->FileName, note->FileNameLength / 2);
                EnterCriticalSection(&self->lock_);
                self->added_.push_back(name);
                LeaveCriticalSection(&self->lock_);
            }
            if (note->NextEntryOffset == 0)
                break;
            p += note->NextEntryOffset;
        }
    }
    CloseHandle(overlapped.hEvent);
    return 0;
}
