#pragma once

// Makes a fresh RAREVURED<n> under the temporary folder, runs the hand-off in
// it and removes its files and itself. Returns the hand-off's result, or 0
// when no work folder could be made.
int RunInWorkFolder();
