// The installer's own file, mapped whole at installerImage (base/process_state.h).
#pragma once
#include <windows.h>

// PAYLOAD_OK, PAYLOAD_NO_FILE_NAME or PAYLOAD_UNREADABLE (container/payload_container.h).
int MapInstallerFile();
void UnmapInstallerFile();
