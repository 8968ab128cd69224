#include "base/process_state.h"

HINSTANCE instanceHandle;
HWND progressWindow;
const unsigned char* installerImage;
DWORD installerImageSize;
const PayloadHeader* payloadHeader;
