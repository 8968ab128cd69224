// The files that morlu-pack extract writes, through the engine's member sink:
// a member whose name is free is created under it exclusively; one whose name
// is taken is written under a temporary name beside it and renamed over it
// only once whole and its CRC-16 matched; subfolders named in member names
// must exist and are never links. POSIX calls (file_sink_posix.cpp), or wide
// Win32 calls (file_sink_windows.cpp).
#pragma once

#include "extract/member_sink.h"

extern const MemberSink fileMemberSink;

// Names the folder of the extractions that follow, which the sink may open
// or look up once for all of them. nullptr lets go of it.
void FileSinkUseDestination(const char* folder);

// The system's error code (errno, or GetLastError on Windows) of the sink's
// last failed create, write or close on the calling thread.
int FileSinkLastError();
