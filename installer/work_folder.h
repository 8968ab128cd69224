// The run's work folder, RAREVURED<n> under the temporary folder: the one
// place the installer writes its members. A leaf: it calls nothing of the
// installer's own, so that a run ending in its middle may remove it.
#pragma once
#include <windows.h>

// Makes a fresh RAREVURED<n> under the temporary folder, the first free n
// from 0 to 999, and returns its path, valid until it is removed. NULL, told
// to the user, when none can be made.
const char* MakeWorkFolder();

// Deletes the files of the work folder made last, if any, and removes it
// unless something made a subfolder in it. A file still held by another
// program is tried again for a while, the window answering meanwhile.
void RemoveWorkFolder();
