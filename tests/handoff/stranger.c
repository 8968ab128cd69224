/* A program another one put in the place of the inner installer: started, it
   leaves a mark where MORLU_STRANGER_MARK says and ends. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    char mark[MAX_PATH];
    (void)instance, (void)previous, (void)commandLine, (void)show;
    if (GetEnvironmentVariableA("MORLU_STRANGER_MARK", mark, MAX_PATH) - 1 < MAX_PATH - 1)
        CloseHandle(CreateFileA(mark, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    return 0;
}
