#pragma once

// Maps the installer's own file (base/installer_file.h) and finds its payload
// container. Returns PAYLOAD_OK or the code that the entry shows (see
// container/payload_container.h). The file stays mapped on failure too.
int LocatePayload();
