#pragma once

// Maps the whole executable at fileBuffer and finds its payload container.
// Returns PAYLOAD_OK or the code that the entry shows (see container/payload_container.h).
// fileBuffer stays mapped on failure too; WinMain unmaps it.
int LocatePayload();
