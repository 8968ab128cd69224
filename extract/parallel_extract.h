// Extraction on several cores, for the packer (not part of the installer).
#pragma once
#include <stdint.h>

#include "extract/member_sink.h"

// ExtractArchive with up to `threads` members written at once. The files it
// leaves, its result and GetExtractFailure are those of ExtractArchive: kept
// members are closed in archive order, one at a time, members after a
// failure are discarded, and the failing member is extracted again on its own
// on the calling thread before it is reported. The sink must take create,
// write, setTime and close for different files from several threads at once.
int ExtractArchiveInParallel(const char* destFolder, const unsigned char* archive, uint32_t archiveSize,
                             const MemberSink* sink, unsigned threads);
