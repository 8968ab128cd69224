#pragma once

// The hand-off inside the work folder: extracts the archive, starts the inner
// installer, waits for its result and offers shortcuts and the release notes.
// 1 when the installation was completed.
int RunInnerInstaller(const char* workFolder);
