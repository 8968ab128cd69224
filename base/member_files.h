// The installer's member files: the engine's sink on Windows.
#pragma once
#include <windows.h>

#include "extract/member_sink.h"

// Creates member files by their CP932 names, through the wide calls on NT.
extern const MemberSink windowsMemberSink;

struct MemberFileFailure {
    DWORD error;  // the system's error code: ERROR_NOACCESS, ERROR_SWAPERROR or
                  // ERROR_INVALID_USER_BUFFER when the bytes to write could not be read
    BOOL writing; // a write failed, not the creation
};
// Why the last member file failed.
MemberFileFailure LastMemberFileFailure();

// Closes the member file being written, if there is one: a run that ends in
// the middle of a member must still be able to delete it.
void CloseMemberFileInWriting();
