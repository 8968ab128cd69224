#include "extract/extract_state.h"

ENGINE_STATE_STORAGE ExtractState extractState;

int AbortExtraction(int code, ExtractFailure reason)
{
    ExtractState& s = extractState;
    if (s.outFile != kNoMemberFile) {
        s.sink->close(s.outFile, false);
        s.outFile = kNoMemberFile;
    }
    s.failure = reason;
    return code;
}
