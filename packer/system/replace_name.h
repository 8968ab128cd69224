// Moving a finished file over another on Windows, for the packer's files.
#pragma once
#include <windows.h>

#include <string>

// MoveFileExW with MOVEFILE_REPLACE_EXISTING and the flags in how; a read-only
// file of the name, which refuses to be replaced, loses its read-only
// attribute first (and gets it back if the move still fails). Sets the
// error of the move that failed.
bool ReplaceName(const std::wstring& from, const std::wstring& to, DWORD how);
