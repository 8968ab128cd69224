#include "installer/payload_locator.h"

#include "base/installer_file.h"
#include "base/process_state.h"

int LocatePayload()
{
    if (GetModuleHandleA(NULL) == NULL)
        return PAYLOAD_NO_MODULE;
    int mapped = MapInstallerFile();
    if (mapped != PAYLOAD_OK)
        return mapped;

    uint32_t headerOffset;
    int code = ScanContainer(installerImage, installerImageSize, &headerOffset);
    if (headerOffset != kNoHeader)
        payloadHeader = (const PayloadHeader*)(installerImage + headerOffset);
    return code;
}
