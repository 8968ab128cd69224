// demo_pilot run SETUP OUTDIR    runs SETUP, saves a screenshot of each stage
//                                as OUTDIR\NN-stage.bmp and answers every box
#include <windows.h>
#include <stdio.h>

#include <set>
#include <string>

#include "installer_run.h"
#include "screenshot.h"
#include "window_probe.h"

static void Shoot(const std::string& outDir, int* counter, const char* stage)
{
    Sleep(500); // let the window finish painting
    char name[64];
    wsprintfA(name, "\\%02d-%s.bmp", ++*counter, stage);
    SaveScreenshot(outDir + name);
    printf("demo_pilot: screenshot %s\n", name + 1);
}

static int Run(const char* setupPath, const std::string& outDir)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string commandLine = std::string("\"") + setupPath + "\"";
    if (!CreateProcessA(setupPath, &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "demo_pilot: cannot start %s\n", setupPath);
        return 1;
    }
    int shots = 0;
    std::set<HWND> seen;
    while (WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT) {
        for (HWND window : TopLevelWindowsOf(process.dwProcessId)) {
            if (!IsMessageBox(window) || seen.count(window))
                continue;
            seen.insert(window);
            MessageBoxInfo box = ReadMessageBox(window);
            Shoot(outDir, &shots, "message");
            printf("demo_pilot: box \"%s\": %s\n", box.caption.c_str(), box.text.c_str());
            PressButton(window, box.buttons.empty() ? IDOK : box.buttons.front());
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    printf("demo_pilot: installer ended with exit code %lu\n", code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return code == 0 ? 0 : 1;
}

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "run")
        return Run(argv[2], argv[3]);
    fprintf(stderr, "usage: demo_pilot run SETUP OUTDIR\n");
    return 2;
}
