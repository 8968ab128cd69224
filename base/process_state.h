// Process-wide state of the installer: one thread, set once, read everywhere.
#pragma once
#include <windows.h>

#include "container/payload_container.h"

extern HINSTANCE instanceHandle;
extern HWND progressWindow;             // NULL when the window could not be created
extern unsigned char* fileBuffer;       // the whole executable, mapped; unmapped by WinMain
extern DWORD fileSize;
extern const PayloadHeader* payloadHeader; // inside fileBuffer; NULL until located
extern const char* installFolder;       // the text read from RES.DAT, during the shortcut dialog
extern int shortcutExists;

// wsprintfA writes at most 1024 characters and the NUL.
const int kFormatBufferSize = 1025;
