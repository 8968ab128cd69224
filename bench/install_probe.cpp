// install_probe SETUP TEMP: runs an installer with TMP and TEMP at TEMP and
// prints, in milliseconds from its start, when its progress window showed and
// when its inner installer began (the demo DEZAZAZE.exe with tickfile=1 writes
// the tick count of its start into STARTED.TIC), then ends it: the timing half
// of bench/install_bench.py.
#include <windows.h>
#include <stdio.h>

#include <string>

#include "installer_run.h"
#include "window_probe.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: install_probe SETUP TEMP\n");
        return 2;
    }
    std::string setup = argv[1];
    std::string temp = argv[2];
    SetEnvironmentVariableA("TMP", temp.c_str());
    SetEnvironmentVariableA("TEMP", temp.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + setup + "\"";
    DWORD started = GetTickCount();
    if (!CreateProcessA(setup.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "install_probe: cannot start %s (error %lu)\n", setup.c_str(), GetLastError());
        return 1;
    }
    long window = -1;
    long inner = -1;
    std::string tick = temp + "\\RAREVURED0\\STARTED.TIC";
    while (inner < 0 && GetTickCount() - started < 600000) {
        if (window < 0 && WaitForWindow(process.dwProcessId, IsProgressWindow, 0) != NULL)
            window = (long)(GetTickCount() - started);
        Bytes text;
        if (ReadFileBytes(tick, &text) && !text.empty())
            inner = (long)(std::stoul(std::string(text.begin(), text.end())) - started);
        if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0)
            break;
    }
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 10000);
    printf("%ld %ld\n", window, inner);
    return inner < 0 || window < 0;
}
