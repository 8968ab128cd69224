// Folders that only the installer's own kind of process can write in: the
// work folder, whose programs may run elevated. NT's security, found at run
// time; Windows 9x has none.
#pragma once
#include <windows.h>

// TRUE when the process holds the Administrators group enabled: elevated,
// or an administrator on a Windows without UAC.
BOOL RunsAsAdministrator();

// Creates the folder with access rules of its own, none inherited from its
// parent: full control for Administrators and SYSTEM when forAdministrators,
// else for the user and SYSTEM; what is made inside inherits them. FALSE
// when it cannot be made so, an existing name included. On Windows 9x a
// plain folder.
BOOL CreatePrivateFolder(const char* path, BOOL forAdministrators);

// The access rules CreatePrivateFolder gives on NT, as a security
// descriptor to LocalFree; NULL on Windows 9x or when NT cannot make it.
PSECURITY_DESCRIPTOR NewPrivateFolderRules(BOOL forAdministrators);

// The folder at path held open until CloseHandle, so that it can be neither
// renamed nor removed meanwhile: INVALID_HANDLE_VALUE when it is no plain
// folder (a link or a junction to somewhere else) or cannot be held. On
// Windows 9x, which cannot open folders, NULL: nothing to hold or close.
HANDLE HoldFolder(const char* path);
