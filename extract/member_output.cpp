#include "extract/member_output.h"

#include <string.h>

#include "extract/crc16.h"
#include "extract/extract_state.h"

int CreateMemberFile(const char* name)
{
    ExtractState& s = extractState;
    size_t nameLength = strlen(name);
    if (s.prefixLength + nameLength + 1 > kPathCapacity)
        return AbortExtraction(kExtractFileError, FAILURE_PATH_TOO_LONG);
    memcpy(s.path + s.prefixLength, name, nameLength + 1);
    MemberFile file = s.sink->create(s.path, s.prefixLength);
    if (file == kNoMemberFile)
        return AbortExtraction(kExtractFileError, FAILURE_CREATE);
    s.outFile = file;
    return 0;
}

static uint32_t WriteMemberBytes(MemberFile file, const unsigned char* bytes, uint32_t count)
{
    return extractState.sink->write(file, bytes, count);
}

int FlushWindow()
{
    ExtractState& s = extractState;
    uint32_t count = (uint32_t)(s.writePos - s.window);
    if (count == 0)
        return 0;
    if (WriteMemberBytes(s.outFile, s.window, count) < count)
        return AbortExtraction(kExtractFileError, FAILURE_SHORT_WRITE);
    s.crc = (uint16_t)UpdateCrc16(s.crcTable, s.crc, s.window, count);
    s.writePos = s.window;
    return 0;
}

// A window's worth at a time, as decoded members are flushed: between pieces
// the sink may let the installer's window answer, which a large member
// summed in one go would keep waiting. Each piece is summed before it is
// written: the installer's archive is its mapped file, and a page of it that
// cannot be read (a CD taken out) then faults here, in the program's own
// read, where the installer tells it as such, rather than inside the
// system's write, which reports whatever error the page-in met (a CD taken
// out: "not ready") and which an emulator may handle otherwise again.
int CopyStoredMember()
{
    ExtractState& s = extractState;
    uint32_t count = LoadLe32(s.header + kHeaderOriginalSize);
    for (uint32_t done = 0; done < count;) {
        uint32_t piece = count - done < kWindowSize ? count - done : kWindowSize;
        s.crc = (uint16_t)UpdateCrc16(s.crcTable, s.crc, s.memberData + done, piece);
        if (WriteMemberBytes(s.outFile, s.memberData + done, piece) < piece)
            return AbortExtraction(kExtractFileError, FAILURE_SHORT_WRITE);
        done += piece;
    }
    return 0;
}

void SetMemberFileTime(MemberFile file, uint16_t dosDate, uint16_t dosTime)
{
    extractState.sink->setTime(file, dosDate, dosTime);
}
