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

// Closes the member file being written, if there is one: a run that ends in
// the middle of a member must still be able to delete it.
void CloseMemberFileInWriting();
