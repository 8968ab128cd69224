#include "window_probe.h"

#include <stdio.h>
#include <stdlib.h>

// Wine's and Windows' message box templates share these control ids.
static const int kMessageBoxTextId = 0xFFFF;
static const int kMessageBoxIconId = 0x440;

std::string Cp932Of(const wchar_t* text, int length)
{
    char bytes[4096];
    int size = WideCharToMultiByte(932, 0, text, length, bytes, sizeof bytes, NULL, NULL);
    return std::string(bytes, size > 0 ? size : 0);
}

std::string WindowTextOf(HWND window)
{
    // Read wide and brought to CP932 here: the texts are compared with the
    // installer's own CP932 bytes whatever this process's ANSI code page is.
    wchar_t text[2048];
    int length = GetWindowTextW(window, text, 2048);
    return Cp932Of(text, length > 0 ? length : 0);
}

std::string ItemTextOf(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    return item != NULL ? WindowTextOf(item) : std::string("<missing>");
}

std::string ClassNameOf(HWND window)
{
    char name[256];
    int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? length : 0);
}

int CheckStateOf(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    return item != NULL ? (int)SendMessageA(item, BM_GETCHECK, 0, 0) : -1;
}

namespace {
struct Search {
    DWORD processId;
    std::vector<HWND> found;
};
}

static BOOL CALLBACK CollectWindow(HWND window, LPARAM context)
{
    Search* search = (Search*)context;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window))
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindowsOf(DWORD processId)
{
    Search search = {processId, {}};
    EnumWindows(CollectWindow, (LPARAM)&search);
    return search.found;
}

DWORD WaitLimit(DWORD ms)
{
    static const DWORD scale = [] {
        char text[16];
        DWORD length = GetEnvironmentVariableA("MORLU_WAIT_SCALE", text, sizeof text);
        int factor = length > 0 && length < sizeof text ? atoi(text) : 1;
        return factor > 1 ? (DWORD)factor : 1;
    }();
    return ms * scale;
}

// What a failed wait saw, in the test's output: a rare stall under load is
// otherwise seen only as a missing window.
static void DescribeProcessWindows(DWORD processId)
{
    DWORD code = 0;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    bool ended = process != NULL && GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
    if (process != NULL)
        CloseHandle(process);
    fprintf(stderr, "process %lu: %s", (unsigned long)processId, ended ? "ended" : "running");
    if (ended)
        fprintf(stderr, " with 0x%lx", (unsigned long)code);
    fprintf(stderr, "; its windows:");
    for (HWND window : TopLevelWindowsOf(processId)) {
        wchar_t title[256];
        char utf8[1024];
        int length = GetWindowTextW(window, title, 256);
        length = WideCharToMultiByte(CP_UTF8, 0, title, length, utf8, sizeof utf8 - 1, NULL, NULL);
        utf8[length > 0 ? length : 0] = '\0';
        fprintf(stderr, " [%s \"%s\"]", ClassNameOf(window).c_str(), utf8);
    }
    fprintf(stderr, "\n");
}

HWND WaitForWindow(DWORD processId, const std::function<bool(HWND)>& matches, DWORD timeoutMs)
{
    timeoutMs = WaitLimit(timeoutMs);
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND window : TopLevelWindowsOf(processId)) {
            if (matches(window))
                return window;
        }
        if (GetTickCount() - start > timeoutMs) {
            DescribeProcessWindows(processId);
            return NULL;
        }
        Sleep(50);
    }
}

bool IsMessageBox(HWND window)
{
    return ClassNameOf(window) == "#32770" && GetDlgItem(window, kMessageBoxIconId) != NULL &&
           GetDlgItem(window, kMessageBoxTextId) != NULL;
}

static bool IsYellow(COLORREF c)
{
    return GetRValue(c) > 200 && GetGValue(c) > 150 && GetBValue(c) < 100;
}

MessageBoxInfo ReadMessageBox(HWND box)
{
    MessageBoxInfo info;
    info.caption = WindowTextOf(box);
    info.text = ItemTextOf(box, kMessageBoxTextId);
    info.owner = GetWindow(box, GW_OWNER);
    HWND icon = GetDlgItem(box, kMessageBoxIconId);
    info.hasIcon = icon != NULL && IsWindowVisible(icon) && SendMessageA(icon, STM_GETICON, 0, 0) != 0;
    if (info.hasIcon) {
        // The box may still be painting: look a few times.
        for (int attempt = 0; attempt < 20 && !info.warningIcon; ++attempt) {
            RECT r;
            GetWindowRect(icon, &r);
            HDC screen = GetDC(NULL);
            int yellow = 0;
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x)
                    yellow += IsYellow(GetPixel(screen, x, y));
            ReleaseDC(NULL, screen);
            info.warningIcon = yellow > 50;
            if (!info.warningIcon)
                Sleep(50);
        }
    }
    for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
        HWND button = GetDlgItem(box, id);
        if (button != NULL && IsWindowVisible(button))
            info.buttons.push_back(id);
    }
    return info;
}

void PressButton(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

bool Answer(HWND dialog, int id)
{
    PressButton(dialog, id);
    for (DWORD start = GetTickCount(); GetTickCount() - start < WaitLimit(5000); Sleep(20)) {
        if (!IsWindow(dialog) || !IsWindowVisible(dialog))
            return true;
    }
    return false;
}

int CountScreenPixels(HWND window, COLORREF colour, int tolerance)
{
    RECT r;
    GetWindowRect(window, &r);
    HDC screen = GetDC(NULL);
    int count = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            COLORREF c = GetPixel(screen, x, y);
            if (abs(GetRValue(c) - GetRValue(colour)) <= tolerance &&
                abs(GetGValue(c) - GetGValue(colour)) <= tolerance &&
                abs(GetBValue(c) - GetBValue(colour)) <= tolerance)
                ++count;
        }
    }
    ReleaseDC(NULL, screen);
    return count;
}
