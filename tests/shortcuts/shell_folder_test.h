// Base of the tests that work in the prefix's real Desktop and Start Menu
// Programs folders: one such test at a time across processes, the folders left
// as they were found, shell links written and read independently of the code
// under test.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "window_probe.h"

class ShellFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Points the user's Desktop at a folder that is not there until the test
    // ends, as a desktop redirected to a share that is gone would be. Wine's
    // shell cannot make its desktop object without that folder, but keeps one
    // made before: in the installer the probe has always made it by then, so
    // by default it is made first.
    void HideDesktop(bool makeShellDesktopFirst = true);
    // Points the user's Desktop at another folder until the test ends.
    void RedirectDesktop(const std::string& folder, bool makeShellDesktopFirst = true);
    // Names that appeared in the folder since the test began.
    std::vector<std::string> AddedTo(const std::string& folder) const;
    // A fresh folder for the test's own files, removed afterwards.
    const std::string& scratch() const { return scratch_; }

    std::string desktop_;
    std::string programs_;

private:
    HANDLE lock_ = NULL;
    std::string scratch_;
    std::vector<std::string> desktopBefore_;
    std::vector<std::string> programsBefore_;
};

struct LinkFields {
    bool loaded = false;
    std::string path;
    std::string workingDirectory;
    std::string description;
    std::string iconPath;
    int iconIndex = -1;
    std::string arguments;
    WORD hotkey = 0;
};

// Written and read through IShellLinkA and IPersistFile.
bool WriteLink(const std::string& linkPath, const std::string& target);
LinkFields ReadLink(const std::string& linkPath);

void WriteTextFile(const std::string& path, const std::string& text);
std::string ReadTextFile(const std::string& path);
std::string ShortPathOf(const std::string& path);
std::string Upper(std::string text);

// Paths beyond MAX_PATH, through the wide functions and the \\?\ prefix.
bool CreateLongDirectory(const std::string& path);
bool MoveToLongPath(const std::string& from, const std::string& to);

struct SeenBox {
    MessageBoxInfo info;
    bool ownerVisible = false; // the owner was still on screen under the box
};

// For failure messages: each box's text.
std::string Describe(const std::vector<SeenBox>& boxes);

// Answers (OK) every message box of this process while it lives, recording each.
class BoxAnswerer {
public:
    BoxAnswerer();
    ~BoxAnswerer();
    // Stops and returns what was seen.
    std::vector<SeenBox> Finish();

private:
    static DWORD WINAPI Run(LPVOID self);
    HANDLE stop_;
    HANDLE thread_;
    std::vector<SeenBox> boxes_;
};
