// The one seam of the extraction engine: where member files are created,
// written, stamped and closed. The installer writes Win32 files in place; the
// packer replaces files safely or only counts bytes; tests and fuzzers keep
// them in memory.
#pragma once
#include <stdint.h>

// A Win32 HANDLE, a POSIX descriptor or a memory file's index.
typedef intptr_t MemberFile;
const MemberFile kNoMemberFile = -1; // the value of INVALID_HANDLE_VALUE

struct MemberSink {
    // Creates the file path, replacing an existing one, or a temporary file
    // that close puts there; the member name starts at path + nameOffset
    // (after the folder and its backslash).
    MemberFile (*create)(const char* path, uint32_t nameOffset);
    // One write; returns the bytes written, 0 when it fails outright.
    uint32_t (*write)(MemberFile file, const unsigned char* bytes, uint32_t count);
    // MS-DOS date and time in local time, once the member's CRC-16 has matched;
    // a time that cannot be converted is left unset.
    void (*setTime)(MemberFile file, uint16_t dosDate, uint16_t dosTime);
    // keep: the member came out whole and its CRC-16 matched. A sink that
    // writes under a temporary name puts the file in place only then. Returns
    // false when a kept file cannot be put in place.
    bool (*close)(MemberFile file, bool keep);
};

// The installer's build defines MORLU_INSTALLER_ENGINE (CMakeLists.txt).
#ifdef MORLU_INSTALLER_ENGINE
extern const MemberSink windowsMemberSink;
#else
// The packer's files: a member whose name is free is created under it
// exclusively; one whose name is taken is written under a temporary name
// beside it and renamed over it only once whole and its CRC-16 matched;
// subfolders named in member names must exist and are never links. POSIX
// calls (posix_sink.cpp), or wide Win32 calls (windows_replacing_sink.cpp).
extern const MemberSink fileMemberSink;
// Names the folder of the extractions that follow, which the sink may open
// or look up once for all of them. nullptr lets go of it.
void FileSinkUseDestination(const char* folder);
// Whether a member may be created under its own name when it is free (the
// default). Off while several threads extract, which may create members out of
// archive order: a later member of the same name must still end up in place.
void FileSinkCreateInPlace(bool allowed);
// The system's error code (errno, or GetLastError on Windows) of the sink's
// last failed create, write or close on the calling thread.
int FileSinkLastError();
#endif
