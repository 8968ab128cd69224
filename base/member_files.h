// The installer's member files: the engine's sink on Windows.
#pragma once
#include <windows.h>

#include "extract/member_sink.h"

// Creates member files by their CP932 names, through the wide calls on NT.
extern const MemberSink windowsMemberSink;

// Why a member file failed, as the user is told it.
enum MemberFileFailure {
    MEMBER_FILE_NOT_CREATED,
    MEMBER_FILE_NOT_WRITTEN,  // the disk is full, or the file would not take the bytes
    MEMBER_SOURCE_UNREADABLE, // the bytes to write, the installer's own pages, could not be read
};
// Why the last member file failed.
MemberFileFailure LastMemberFileFailure();

// Once written, the member file of this name (any case) is held open with no
// write or delete sharing, until CloseMemberFiles: no other program can
// change or replace it meanwhile. A file that is not the very one written
// by then (another put in its place) fails as one that cannot be created.
void HoldMemberAfterWriting(const char* name);

// Closes the member file being written and the one held, if there are any:
// a run that ends, in the middle of a member or not, must be able to delete them.
void CloseMemberFiles();
