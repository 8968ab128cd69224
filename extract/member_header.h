// Layout of an LHA member header (levels 0 and 1) as the engine copies it,
// and the tests it makes on one. Shared by the engine and the packer's listing.
#pragma once
#include <stdint.h>

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

uint16_t LoadLe16(const unsigned char* p);
uint32_t LoadLe32(const unsigned char* p);

// header[0] is the header size H; bytes 2 to H+1 sum to byte 1.
bool HeaderChecksumMatches(const unsigned char* header);

// "-lh0" and "-lh4" whatever their fifth byte, "-lh5-"; everything else is refused.
MemberMethod ClassifyMethod(const unsigned char* header);

// Lead byte of a two-byte character in code page 932, on every platform.
bool IsCp932LeadByte(unsigned char c);

// False for a name that could leave the destination folder: a leading
// backslash or slash, any colon (drive or stream), or a component of dots and
// spaces with at least two dots, which Windows takes for the parent folder.
// A trail byte 0x5C (as in 表 or ソ) is no separator.
bool IsSafeMemberName(const char* name);
