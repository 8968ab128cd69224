// NT's wide calls, found at run time: Windows 98 lacks most of them, and one
// static import of a function it lacks would keep the stub from loading there.
#pragma once
#include <windows.h>
#include <shellapi.h>

struct WideCalls {
    DWORD(WINAPI* getModuleFileName)(HMODULE, LPWSTR, DWORD);
    HANDLE(WINAPI* createFile)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    DWORD(WINAPI* getTempPath)(DWORD, LPWSTR);
    DWORD(WINAPI* getFileAttributes)(LPCWSTR);
    BOOL(WINAPI* setFileAttributes)(LPCWSTR, DWORD);
    BOOL(WINAPI* createDirectory)(LPCWSTR, LPSECURITY_ATTRIBUTES);
    BOOL(WINAPI* removeDirectory)(LPCWSTR);
    BOOL(WINAPI* deleteFile)(LPCWSTR);
    HANDLE(WINAPI* findFirstFile)(LPCWSTR, LPWIN32_FIND_DATAW);
    BOOL(WINAPI* findNextFile)(HANDLE, LPWIN32_FIND_DATAW);
    DWORD(WINAPI* getShortPathName)(LPCWSTR, LPWSTR, DWORD);
    int(WINAPI* messageBox)(HWND, LPCWSTR, LPCWSTR, UINT);
    BOOL(WINAPI* setWindowText)(HWND, LPCWSTR);
    int(WINAPI* getWindowText)(HWND, LPWSTR, int);
    HWND(WINAPI* createDialogParam)(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM);
    INT_PTR(WINAPI* dialogBoxParam)(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM);
    BOOL(WINAPI* shellExecuteEx)(SHELLEXECUTEINFOW*);
};

// Every call above on the NT family; NULL on Windows 9x, which keeps the ANSI
// calls (and on an NT that lacks one of them). Looked up on first use.
const WideCalls* NtWideCalls();
