#pragma once

// The installer's exit status: 0 only for a completed installation, and one
// value for each kind of failure, for deployment scripts and parent programs
// (README has the table).
enum ExitStatus {
    EXIT_INSTALLED = 0,
    EXIT_SYSTEM_REFUSED = 1,     // older than Windows 98 or 2000
    EXIT_CANCELLED = 2,          // at the payload's confirmation message
    EXIT_DAMAGED_INSTALLER = 3,  // the installer's file is damaged or cannot be read
    EXIT_NO_WORK_FOLDER = 4,
    EXIT_WRITE_FAILED = 5,       // a member cannot be created or written (a full disk, say)
    EXIT_INNER_NOT_STARTED = 6,  // DEZAZAZE.exe cannot be started
    EXIT_INSTALL_FAILED = 7,     // DEZAZAZE.exe reported failure, or crashed without a result
};
