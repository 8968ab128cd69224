// One run of an installer image in its own folder, with its own temporary
// folder (TMP and TEMP point there) and, if asked, a Windows version that wine
// reports to that program alone.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "test_containers.h"

const DWORD kStillRunning = STILL_ACTIVE;

// The stub of the build under test: x86-64 or the shipping i686 one.
Bytes StubImage();

class InstallerRun {
public:
    // name: unique per test; it names the folder and the program file.
    InstallerRun(const std::string& name, const Bytes& image);
    ~InstallerRun();

    // Wine's version name, such as "win95" or "win2k", for this program only.
    void SetWindowsVersion(const char* version);
    // TMP and TEMP for the run; default: a fresh "temp" folder beside the program.
    void SetTempFolder(const std::string& folder) { temp_ = folder; }
    // The current folder it starts in; default: its own folder.
    void SetCurrentFolder(const std::string& folder) { current_ = folder; }

    // Suspended, its first instruction waits for Resume.
    bool Start(bool suspended = false);
    void Resume() { ResumeThread(process_.hThread); }
    DWORD processId() const { return process_.dwProcessId; }
    // The exit code, or kStillRunning when the program did not end within
    // WaitLimit(timeoutMs) (it is then terminated).
    DWORD WaitForExit(DWORD timeoutMs = 20000);

    HWND WaitForMessageBox(DWORD timeoutMs = 20000);
    HWND WaitForProgressWindow(DWORD timeoutMs = 20000);

    const std::string& folder() const { return folder_; }
    const std::string& tempFolder() const { return temp_; }
    const std::string& programPath() const { return program_; }
    // Names in the temporary folder, "." and ".." left out.
    std::vector<std::string> TempEntries() const;

private:
    std::string name_;
    std::string folder_;
    std::string program_;
    std::string temp_;
    std::string current_;
    bool versionSet_ = false;
    PROCESS_INFORMATION process_ = {};
};

bool IsProgressWindow(HWND window);
bool IsShortcutDialog(HWND window);
// A notepad window whose title names the file, or NULL.
HWND FindNotepadShowing(const char* fileName);
// The path of a CSIDL folder, empty when it has none.
std::string SpecialFolder(int csidl);
// The installer's shortcuts (Morlu2*.lnk) on the desktop and in Programs.
std::vector<std::string> DemoShortcuts();
// The step whose marker shows the arrow, or -1.
int StepShown(HWND progress);

// Removes a folder and everything below it; no error if it is not there.
void RemoveTree(const std::string& path);
std::vector<std::string> FolderEntries(const std::string& folder);

// Records the names that appear directly in a folder (with subtree, below it
// too, as relative paths) while it watches. Names are CP932 on any ANSI code page.
class FolderWatch {
public:
    explicit FolderWatch(const std::string& folder, bool subtree = false);
    ~FolderWatch();
    // Names added so far, in order.
    std::vector<std::string> Added();

private:
    static DWORD WINAPI Run(LPVOID self);
    HANDLE directory_;
    HANDLE stop_;
    HANDLE thread_;
    bool subtree_;
    CRITICAL_SECTION lock_;
    std::vector<std::string> added_;
};
