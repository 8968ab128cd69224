#pragma once

#include "installer/exit_status.h"

// Step 2: starts the inner installer DEZAZAZE.exe in the work folder and waits,
// with no time-out unless it crashes, for its RES.DAT. installFolder
// (MAX_PATH bytes) = the install folder it names. EXIT_INSTALLED then, else
// the failure's status, told to the user already.
ExitStatus RunInnerInstaller(const char* workFolder, char* installFolder);
