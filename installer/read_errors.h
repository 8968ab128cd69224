#pragma once

// From now on, a page of the mapped installer file that cannot be read (a CD
// taken out, a share that went away) ends the run with a message saying so
// and without the work folder, instead of a crash.
void TellReadErrors();

// The message of a read error of the installer's file, for one that a call
// reports (a stored member is written straight from the mapped file).
void ShowReadError();
