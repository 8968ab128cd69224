// The extraction engine: writes every member of an LHA archive held in memory
// into a folder. Portable: the installer, the packer and the fuzzers share it.
#pragma once
#include <stdint.h>

#include "extract/member_sink.h"

const int kExtractFileError = -1; // a member's file could not be created or written in full
const int kExtractDataError = -2; // the archive is damaged or uses what the engine lacks

// destFolder: code page 932 path without a trailing backslash; the members go
// to sink (the installer's Win32 files are windowsMemberSink in
// base/member_files.h). Returns the number of members extracted, or
// kExtractFileError / kExtractDataError. Not reentrant: one extraction at a time.
int ExtractArchive(const char* destFolder, const unsigned char* archive, uint32_t archiveSize,
                   const MemberSink* sink);

// Why the last extraction stopped, for tools that tell the user. The installer
// only looks at the result.
enum ExtractFailure {
    FAILURE_NONE,
    FAILURE_HEADER_TOO_LARGE,   // header size byte above what the header copy holds
    FAILURE_HEADER_TRUNCATED,   // the archive ends inside a header
    FAILURE_HEADER_CHECKSUM,
    FAILURE_METHOD,             // method identifier not accepted
    FAILURE_NAME_TOO_LONG,      // name and CRC run past the header
    FAILURE_EXTENDED_HEADER,    // level-1 header too short, or its extended headers damaged or cut short
    FAILURE_UNSAFE_NAME,        // absolute, drive or stream colon, or a parent step
    FAILURE_INVALID_NAME,       // no file name Windows can create: empty, device, <>"|?*, control character
    FAILURE_PATH_TOO_LONG,      // folder and name do not fit MAX_PATH
    FAILURE_CREATE,             // the member's file cannot be created or put in place
    FAILURE_DATA_TRUNCATED,     // the archive ends inside the member's data
    FAILURE_BAD_CODE_COUNT,     // a code-length count above its code's symbol count
    FAILURE_BAD_SINGLE_CODE,    // a one-symbol code naming no symbol
    FAILURE_DATA_PAST_END,      // the compressed stream needs bits beyond the archive's end
    FAILURE_SHORT_WRITE,
    FAILURE_CRC_MISMATCH,
};

struct ExtractFailureInfo {
    ExtractFailure reason;
    uint32_t memberNumber;  // 1 for the first header; 0 when no member was reached
    const char* memberName; // code page 932, "" while the header is not yet checked
    uint16_t expectedCrc;   // with FAILURE_CRC_MISMATCH
    uint16_t actualCrc;
};

ExtractFailureInfo GetExtractFailure();
