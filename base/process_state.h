// Process-wide state of the installer: one thread, set once, read everywhere.
#pragma once
#include <windows.h>

#include "container/payload_container.h"

extern HINSTANCE instanceHandle;
extern HWND progressWindow;                // NULL when the window could not be created
extern const unsigned char* installerImage; // the installer's own file, mapped whole; NULL until mapped
extern DWORD installerImageSize;
extern const PayloadHeader* payloadHeader; // inside installerImage; NULL until located

// wsprintfA writes at most 1024 characters and the NUL.
const int kFormatBufferSize = 1025;
