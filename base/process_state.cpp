#include "base/process_state.h"

HINSTANCE instanceHandle;
HWND progressWindow;
unsigned char* fileBuffer;
DWORD fileSize;
const PayloadHeader* payloadHeader;
const char* installFolder;
int shortcutExists;
