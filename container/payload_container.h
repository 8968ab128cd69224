// The payload container that the packer appends to the stub and the installer
// finds in its own file: a magic run at a 256-byte boundary, a 32-byte header,
// and the LHA archive. Portable: the packer and its tests use it on Linux.
#pragma once
#include <stdint.h>

struct PayloadHeader {
    char versionText[16];  // CP932, NUL-padded; may hold no NUL at all
    int32_t messageOffset; // from the header's start; 0 = no confirmation text
    int32_t memberCount;
    int32_t archiveOffset; // from the header's start
    int32_t archiveSize;
};
static_assert(sizeof(PayloadHeader) == 32, "the header is 32 bytes on disk");

const uint32_t kContainerAlignment = 256;
const uint32_t kMagicTextLength = 6;
const uint32_t kMagicRepeats = 4;
const uint32_t kMagicRunLength = kMagicTextLength * kMagicRepeats; // 24

// The one copy of the magic text. The run is always built or compared from four
// repeats, so no program carries the whole 24-byte run and matches the scan.
extern const char kMagicText[kMagicTextLength + 1];

enum PayloadCode {
    PAYLOAD_OK = 0,
    PAYLOAD_NO_MODULE = 1,
    PAYLOAD_NO_FILE_NAME = 2,
    PAYLOAD_UNREADABLE = 3,
    PAYLOAD_NOT_FOUND = 5,
    PAYLOAD_OUT_OF_BOUNDS = 6,
};

const uint32_t kNoHeader = 0xFFFFFFFFu;

// Finds the first container in file[0..size) and checks that the header, the
// archive and the confirmation text all lie inside it.
// Returns PAYLOAD_OK, PAYLOAD_NOT_FOUND or PAYLOAD_OUT_OF_BOUNDS. *headerOffset
// is the file offset of the header once the header is known to fit (so also
// for an out-of-bounds archive, whose message then shows the version), else
// kNoHeader.
int ScanContainer(const unsigned char* file, uint32_t size, uint32_t* headerOffset);
