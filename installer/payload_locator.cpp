#include "installer/payload_locator.h"

#include "base/process_state.h"

static BOOL ReadWholeFile(HANDLE file)
{
    fileSize = GetFileSize(file, NULL);
    fileBuffer = (unsigned char*)HeapAlloc(GetProcessHeap(), 0, fileSize ? fileSize : 1);
    if (fileBuffer == NULL)
        return FALSE;
    DWORD bytesRead = 0;
    // The scan may only look at bytes that were really read.
    return ReadFile(file, fileBuffer, fileSize, &bytesRead, NULL) && bytesRead == fileSize;
}

int LocatePayload()
{
    if (GetModuleHandleA(NULL) == NULL)
        return PAYLOAD_NO_MODULE;
    char ownPath[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, ownPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return PAYLOAD_NO_FILE_NAME;

    HANDLE file = CreateFileA(ownPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return PAYLOAD_UNREADABLE;
    BOOL read = ReadWholeFile(file);
    CloseHandle(file);
    if (!read)
        return PAYLOAD_UNREADABLE;

    uint32_t headerOffset;
    int code = ScanContainer(fileBuffer, fileSize, &headerOffset);
    if (headerOffset != kNoHeader)
        payloadHeader = (const PayloadHeader*)(fileBuffer + headerOffset);
    return code;
}
