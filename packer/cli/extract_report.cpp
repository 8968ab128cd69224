#include "packer/cli/extract_report.h"

#include <stdio.h>

#include <string>

#include "extract/extract.h"
#include "packer/cli/cli_support.h"
#include "packer/system/exit_codes.h"
#include "packer/system/file_sink.h"
#include "packer/system/platform.h"

int ReportExtractFailure(const char* path, int result)
{
    ExtractFailureInfo failure = GetExtractFailure();
    int code = result == kExtractFileError ? EXIT_FILE_ERROR : EXIT_DATA_ERROR;
    std::string member = "member " + std::to_string(failure.memberNumber);
    if (failure.memberName[0] != '\0')
        member += " (" + DisplayName(failure.memberName) + ")";
    std::string detail = DescribeFailure(failure.reason);
    if (failure.reason == FAILURE_CRC_MISMATCH) {
        char crcs[64];
        snprintf(crcs, sizeof crcs, ": header %04X, data %04X", failure.expectedCrc, failure.actualCrc);
        detail += crcs;
    }
    if (failure.reason == FAILURE_CREATE || failure.reason == FAILURE_SHORT_WRITE) {
        detail += ": ";
        detail += ErrorText(FileSinkLastError());
    }
    return Complain(code, "%s: %s: %s", path, member.c_str(), detail.c_str());
}
