// Keeps DLLs that others left beside the installer (a Downloads folder) or in
// its current folder out of its process, which may run elevated.
#pragma once

// Takes both folders out of the DLL search and loads, from the system folder,
// the DLLs that Windows loads by name for the installer later on. Before any
// window, COM or shell call.
void KeepDllSearchToSystem();

// Loads comctl32 by name, so that the manifest's version 6 applies, and
// registers its window classes.
void LoadCommonControls();
