#pragma once

// Reads the whole executable into fileBuffer and finds its payload container.
// Returns PAYLOAD_OK or the code that the entry shows (see container/payload_container.h).
// fileBuffer stays allocated on failure too; WinMain frees it.
int LocatePayload();
