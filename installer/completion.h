#pragma once

// Steps 3 and 4, once the inner installer has reported installFolder: offers
// shortcuts to its Morlu.exe, then asks whether to open its release notes.
void CompleteInstallation(const char* installFolder);
