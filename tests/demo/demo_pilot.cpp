// demo_pilot run SETUP OUTDIR
//   Runs SETUP as a person would: agrees to every question, keeps both
//   shortcuts, reads the release notes. Saves a screenshot of each stage as
//   OUTDIR\NN-stage.bmp and tells where the shortcuts and installed files are.
#include <windows.h>
#include <stdio.h>

#include <set>
#include <string>

#include "installer_run.h"
#include "resources/resource_ids.h"
#include "screenshot.h"
#include "window_probe.h"

static const DWORD kRunLimitMs = 120000;

static std::string outDir;
static int shots;

static void Shoot(const char* stage)
{
    Sleep(WaitLimit(500)); // let the window finish painting
    char name[64];
    wsprintfA(name, "%02d-%s.bmp", ++shots, stage);
    SaveScreenshot(outDir + "\\" + name);
    printf("demo_pilot: screenshot %s\n", name);
}

static void AnswerBox(HWND box, int step)
{
    MessageBoxInfo info = ReadMessageBox(box);
    char stage[32];
    wsprintfA(stage, "step%d-message", step);
    Shoot(stage);
    printf("demo_pilot: box \"%s\": %s\n", info.caption.c_str(), info.text.c_str());
    int answer = info.buttons.empty() ? IDOK : info.buttons.front();
    for (int id : info.buttons) {
        if (id == IDYES)
            answer = IDYES;
    }
    Answer(box, answer);
}

static void AnswerShortcutDialog(HWND dialog)
{
    Shoot("step3-shortcuts");
    printf("demo_pilot: shortcut dialog \"%s\": desktop %s, programs %s\n", WindowTextOf(dialog).c_str(),
           CheckStateOf(dialog, IDC_DESKTOP_SHORTCUT) == BST_CHECKED ? "checked" : "unchecked",
           CheckStateOf(dialog, IDC_PROGRAMS_SHORTCUT) == BST_CHECKED ? "checked" : "unchecked");
    Answer(dialog, IDCANCEL); // the dialog's only button, labelled OK
}

// Follows the run until the installer ends; false when it had to be stopped.
static bool FollowRun(const PROCESS_INFORMATION& process)
{
    std::set<HWND> handled;
    int stepShot = -1;
    int step = -1;
    DWORD started = GetTickCount();
    const DWORD limit = WaitLimit(kRunLimitMs);
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
        if (GetTickCount() - started > limit) {
            fprintf(stderr, "demo_pilot: the installer still runs after %lu s; stopping it\n", limit / 1000);
            TerminateProcess(process.hProcess, 1);
            return false;
        }
        HWND progress = WaitForWindow(process.dwProcessId, IsProgressWindow, 0);
        if (progress != NULL && StepShown(progress) >= 0)
            step = StepShown(progress);
        bool answered = false;
        for (HWND window : TopLevelWindowsOf(process.dwProcessId)) {
            if (handled.count(window))
                continue;
            if (IsMessageBox(window)) {
                handled.insert(window);
                AnswerBox(window, step);
                answered = true;
            } else if (IsShortcutDialog(window)) {
                handled.insert(window);
                AnswerShortcutDialog(window);
                answered = true;
            }
        }
        if (answered)
            stepShot = step;
        if (!answered && progress != NULL && step > stepShot) {
            char stage[16];
            wsprintfA(stage, "step%d", step);
            Shoot(stage);
            stepShot = step;
        }
    }
    return true;
}

static int Run(const char* setupPath)
{
    for (const std::string& link : DemoShortcuts()) {
        printf("demo_pilot: removing %s from an earlier run\n", link.c_str());
        DeleteFileA(link.c_str());
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string commandLine = std::string("\"") + setupPath + "\"";
    if (!CreateProcessA(setupPath, &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "demo_pilot: cannot start %s (error %lu)\n", setupPath, GetLastError());
        return 1;
    }
    bool ended = FollowRun(process);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (!ended)
        return 1;
    printf("demo_pilot: installer ended with exit code %lu\n", code);

    HWND notes = FindNotepadShowing("Morlu.txt");
    for (int i = 0; notes == NULL && i < 100; ++i) {
        Sleep(100);
        notes = FindNotepadShowing("Morlu.txt");
    }
    if (notes != NULL) {
        Shoot("release-notes");
        PostMessageA(notes, WM_CLOSE, 0, 0);
    } else {
        printf("demo_pilot: the release notes did not open\n");
    }

    for (const std::string& link : DemoShortcuts())
        printf("demo_pilot: shortcut %s\n", link.c_str());
    char programFiles[MAX_PATH] = "";
    GetEnvironmentVariableA("ProgramFiles", programFiles, sizeof programFiles);
    std::string installed = std::string(programFiles) + "\\Morlu2";
    for (const std::string& name : FolderEntries(installed))
        printf("demo_pilot: installed %s\\%s\n", installed.c_str(), name.c_str());
    return code == 0 && notes != NULL ? 0 : 1;
}

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "run") {
        outDir = argv[3];
        return Run(argv[2]);
    }
    fprintf(stderr, "usage: demo_pilot run SETUP OUTDIR\n");
    return 2;
}
