#pragma once

enum ExitCode {
    EXIT_OK = 0,
    EXIT_USAGE = 1,
    EXIT_DATA_ERROR = 2, // damaged archive or container
    EXIT_FILE_ERROR = 3, // a file that cannot be read, created or written
};
