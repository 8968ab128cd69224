#include "extract/archive_walker.h"

#include <string.h>

#include "extract/extract_state.h"
#include "extract/lh5_decoder.h"
#include "extract/member_output.h"

// Skips no further than the archive's end; returns where the skipped bytes
// begin, and *skipped is how many there were.
static const unsigned char* SkipArchiveBytes(uint32_t count, uint32_t* skipped)
{
    ExtractState& s = extractState;
    const unsigned char* start = s.archivePos;
    if (count > s.archiveRemaining)
        count = s.archiveRemaining;
    s.archivePos += count;
    s.archiveRemaining -= count;
    *skipped = count;
    return start;
}

int ReadMemberHeader(bool* end, MemberMethod* method, uint32_t* dataLength)
{
    ExtractState& s = extractState;
    unsigned char* h = s.header;
    // A missing size byte counts as the end mark.
    *end = s.archiveRemaining == 0 || *s.archivePos == 0;
    if (*end)
        return 0;
    ++s.headersRead;
    s.nameTerminated = false;
    ExtractFailure refused = CopyMemberHeader(s.archivePos, s.archiveEnd, h, method);
    if (refused != FAILURE_NONE)
        return AbortExtraction(kExtractDataError, refused);
    uint32_t skipped;
    SkipArchiveBytes(h[0] + 2u, &skipped);
    // Zeroing the CRC field terminates the name in place; the checked layout
    // keeps the extended size behind it.
    unsigned nameLength = h[kHeaderNameLength];
    s.expectedCrc = LoadLe16(h + kHeaderName + nameLength);
    h[kHeaderName + nameLength] = 0;
    h[kHeaderName + nameLength + 1] = 0;
    s.nameTerminated = true;

    uint32_t extendedLength;
    refused = MeasureMemberData(h, *method, s.archivePos, s.archiveEnd, &extendedLength, dataLength);
    if (refused != FAILURE_NONE)
        return AbortExtraction(kExtractDataError, refused);
    SkipArchiveBytes(extendedLength, &skipped);

    refused = CheckMemberName((const char*)h + kHeaderName);
    if (refused != FAILURE_NONE)
        return AbortExtraction(kExtractDataError, refused);
    return 0;
}

int ExtractMember(MemberMethod method, uint32_t dataLength)
{
    ExtractState& s = extractState;
    ++s.membersBegun;
    int code = CreateMemberFile((const char*)s.header + kHeaderName);
    if (code != 0)
        return code;
    s.crc = 0;

    uint32_t skipped;
    s.memberData = SkipArchiveBytes(dataLength, &skipped);
    // Closed without being kept: a sink that writes in place leaves it empty.
    if (skipped < dataLength)
        return AbortExtraction(kExtractDataError, FAILURE_DATA_TRUNCATED);
    code = method == METHOD_STORED ? CopyStoredMember() : DecodeLh5Member();
    if (code != 0)
        return code;

    // A damaged member is neither stamped nor kept.
    if (s.crc != s.expectedCrc) {
        s.failedCrc = s.crc;
        return AbortExtraction(kExtractDataError, FAILURE_CRC_MISMATCH);
    }
    SetMemberFileTime(s.outFile, LoadLe16(s.header + kHeaderDosDate), LoadLe16(s.header + kHeaderDosTime));
    return 0;
}

int KeepMember()
{
    ExtractState& s = extractState;
    MemberFile file = s.outFile;
    s.outFile = kNoMemberFile;
    if (!s.sink->close(file, true))
        return AbortExtraction(kExtractFileError, FAILURE_CREATE);
    return 0;
}

void BeginExtraction(const char* destFolder, const unsigned char* archive, uint32_t archiveSize,
                     const MemberSink* sink)
{
    ExtractState& s = extractState;
    s.sink = sink;
    // A folder too long to hold even a one-byte name fails each member's
    // creation; an archive without members still succeeds.
    size_t folderLength = strlen(destFolder);
    s.prefixLength = folderLength < kPathCapacity - 1 ? (uint32_t)folderLength + 1 : kPathCapacity;
    if (s.prefixLength < kPathCapacity) {
        memcpy(s.path, destFolder, folderLength);
        s.path[folderLength] = '\\';
        s.path[folderLength + 1] = '\0';
    }
    s.archivePos = archive;
    s.archiveRemaining = archiveSize;
    s.archiveEnd = archive + archiveSize;
    s.membersBegun = 0;
    s.outFile = kNoMemberFile;
    s.headersRead = 0;
    s.nameTerminated = false;
    s.failure = FAILURE_NONE;
    BuildCrc16Table(s.crcTable);
}

int ExtractMembers()
{
    ExtractState& s = extractState;
    for (;;) {
        bool end = false;
        MemberMethod method = METHOD_REFUSED;
        uint32_t dataLength = 0;
        int code = ReadMemberHeader(&end, &method, &dataLength);
        if (code != 0)
            return code;
        if (end)
            return (int)s.membersBegun;
        code = ExtractMember(method, dataLength);
        if (code == 0)
            code = KeepMember();
        if (code != 0)
            return code;
    }
}

int ExtractArchive(const char* destFolder, const unsigned char* archive, uint32_t archiveSize,
                   const MemberSink* sink)
{
    BeginExtraction(destFolder, archive, archiveSize, sink);
    return ExtractMembers();
}

ExtractFailureInfo GetExtractFailure()
{
    const ExtractState& s = extractState;
    ExtractFailureInfo info;
    info.reason = s.failure;
    info.memberNumber = s.headersRead;
    // The name stands terminated only once its header passed the name test.
    info.memberName = s.nameTerminated ? (const char*)s.header + kHeaderName : "";
    info.expectedCrc = s.expectedCrc;
    info.actualCrc = s.failedCrc;
    return info;
}
