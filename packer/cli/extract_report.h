#pragma once

// Tells why ExtractArchive returned result (-1 or -2), naming the member;
// returns the exit code for it.
int ReportExtractFailure(const char* path, int result);
