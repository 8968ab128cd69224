// The walker's steps, which ExtractArchive takes in turn and the parallel
// extraction takes member by member. Internal to extract/.
#pragma once
#include <stdint.h>

#include "extract/member_header.h"

// Sets the state up for destFolder and the archive.
void BeginExtraction(const char* destFolder, const unsigned char* archive, uint32_t archiveSize,
                     const MemberSink* sink);

// Reads and checks the next header into s.header: 0 with *end set at the end
// mark, 0 with the member's method and data length, or a failure code.
int ReadMemberHeader(bool* end, MemberMethod* method, uint32_t* dataLength);

// Writes, checks and stamps the member whose header was read and leaves its
// file open in s.outFile; KeepMember closes it as kept.
int ExtractMember(MemberMethod method, uint32_t dataLength);
int KeepMember();

// Goes on from the archive position to the end or the first failure: the
// number of members extracted, or the failure code.
int ExtractMembers();
