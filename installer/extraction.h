#pragma once

#include "installer/exit_status.h"

// Step 1: extracts the payload's archive into the work folder and checks the number
// of members. EXIT_INSTALLED when every member is there, else the failure's
// status, told to the user in one box.
ExitStatus ExtractIntoWorkFolder(const char* workFolder);
