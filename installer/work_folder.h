#pragma once

// Makes a fresh RAREVURED<n> under the temporary folder, runs the hand-off in
// it and removes its files and itself. Returns the hand-off's ExitStatus, or
// EXIT_NO_WORK_FOLDER when no work folder could be made.
int RunInWorkFolder();

// Removes the work folder of the hand-off under way, if there is one: for a
// run that ends in the middle (installer/read_errors.cpp).
void RemoveWorkFolderInUse();
