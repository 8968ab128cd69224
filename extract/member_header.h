// Layout of an LHA member header (levels 0 and 1) as the engine copies it,
// and the tests it makes on one. Shared by the engine's walker and the
// packer's listing, which read headers alike.
#pragma once
#include <stdint.h>

#include "bytes/little_endian.h"
#include "extract/extract.h"

const uint32_t kHeaderCapacity = 104;
// Byte 0, the header size, counts the bytes after the first two.
const uint32_t kMaxHeaderSize = kHeaderCapacity - 2;

// Offsets from the header's first byte.
const unsigned kHeaderChecksum = 1;
const unsigned kHeaderMethod = 2;
const unsigned kHeaderPackedSize = 7;
const unsigned kHeaderOriginalSize = 11;
const unsigned kHeaderDosTime = 15;
const unsigned kHeaderDosDate = 17;
const unsigned kHeaderLevel = 20;
const unsigned kHeaderNameLength = 21;
const unsigned kHeaderName = 22;
// The name and the CRC-16 behind it must lie inside the header copy.
const unsigned kMaxNameLength = kHeaderCapacity - kHeaderName - 2;

enum MemberMethod { METHOD_REFUSED, METHOD_STORED, METHOD_COMPRESSED };

// header[0] is the header size H; bytes 2 to H+1 sum to byte 1.
bool HeaderChecksumMatches(const unsigned char* header);

// "-lh0" and "-lh4" whatever their fifth byte, "-lh5-"; everything else is refused.
MemberMethod ClassifyMethod(const unsigned char* header);

// The tests of a header whose H+2 bytes are all at hand, in the order they are
// made: size, checksum, method, and the layout (the name and its
// CRC inside the header; a level-1 header long enough for the OS byte and the
// first extended size). FAILURE_NONE, or why the header is refused.
ExtractFailure CheckMemberHeader(const unsigned char* header, MemberMethod* method);

// Copies the header whose size byte is at `at` (before end, and not 0: that
// is the end mark) into header, kHeaderCapacity bytes, and tests it: size,
// whether end cuts it short (it is then copied as far as it goes), and
// CheckMemberHeader's tests. FAILURE_NONE with *method, or why it is refused.
ExtractFailure CopyMemberHeader(const unsigned char* at, const unsigned char* end, unsigned char* header,
                                MemberMethod* method);

// Where the member's data lies, for a header that CopyMemberHeader took and
// whose own bytes end at next: the length of its level-1 extended headers
// (none for level 0), which follow it, then the length of the data. Neither
// runs past end (the data is not looked at). FAILURE_NONE, or
// FAILURE_EXTENDED_HEADER when the extended headers are damaged, run past end
// or are longer than the packed size.
ExtractFailure MeasureMemberData(const unsigned char* header, MemberMethod method, const unsigned char* next,
                                 const unsigned char* end, uint32_t* extendedLength, uint32_t* dataLength);

// FAILURE_UNSAFE_NAME for a name that could leave the destination folder: a
// leading backslash or slash, any colon (drive or stream), or a component of
// dots and spaces with at least two dots, which Windows takes for the parent
// folder. FAILURE_INVALID_NAME for one that Windows cannot create as a file:
// empty, ending in a separator or in dots and spaces only, holding <>"|?* or a
// control character, or naming a device (CON, NUL, COM1, CONIN$, ... with any
// extension). Else FAILURE_NONE. A trail byte 0x5C (as in 表 or ソ) is no
// separator.
ExtractFailure CheckMemberName(const char* name);
