#include "installer/payload_locator.h"

#include "base/process_state.h"
#include "base/wide_calls.h"

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

// The own file by its wide name on NT: saved in a folder named outside the
// ANSI code page, its ANSI name would be a best-fit look-alike.
static int OpenOwnFile(HANDLE* file)
{
    const WideCalls* wide = NtWideCalls();
    WCHAR widePath[MAX_PATH];
    char ansiPath[MAX_PATH];
    DWORD length = wide != NULL ? wide->getModuleFileName(NULL, widePath, MAX_PATH)
                                : GetModuleFileNameA(NULL, ansiPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return PAYLOAD_NO_FILE_NAME;
    *file = wide != NULL ? wide->createFile(widePath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, NULL)
                         : CreateFileA(ansiPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, NULL);
    return *file != INVALID_HANDLE_VALUE ? PAYLOAD_OK : PAYLOAD_UNREADABLE;
}

int LocatePayload()
{
    if (GetModuleHandleA(NULL) == NULL)
        return PAYLOAD_NO_MODULE;
    HANDLE file;
    int opened = OpenOwnFile(&file);
    if (opened != PAYLOAD_OK)
        return opened;
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
