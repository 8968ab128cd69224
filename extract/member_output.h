// The member's file and its CRC-16: created, written from the window or
// straight from the archive, stamped. Internal to extract/.
#pragma once
#include <stdint.h>

#include "extract/member_sink.h"

int CreateMemberFile(const char* name);
int FlushWindow();
int CopyStoredMember();
void SetMemberFileTime(MemberFile file, uint16_t dosDate, uint16_t dosTime);
