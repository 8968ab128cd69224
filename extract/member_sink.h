// The one seam of the extraction engine: where member files are created,
// written, stamped and closed. The installer writes Win32 files in place
// (base/member_files.h); the packer replaces files safely
// (packer/system/file_sink.h) or only counts bytes; tests and fuzzers keep
// them in memory (memory_sink.h).
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
    // Told true before creates may come in another order than the archive's
    // (several threads extracting at once), false once they no longer may.
    // nullptr when the order makes no difference to the sink.
    void (*createsOutOfOrder)(bool outOfOrder);
};
