#pragma once

// The hand-off inside the work folder: extracts the archive, starts the inner
// installer, waits for its result and offers shortcuts and the release notes.
// EXIT_INSTALLED when the installation was completed, else the failure's
// ExitStatus (installer/exit_status.h), told to the user already.
int RunInnerInstaller(const char* workFolder);
