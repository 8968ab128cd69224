// The installer's member files: the engine's sink on Windows (windowsMemberSink,
// extract/member_sink.h).
#pragma once
#include <windows.h>

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
