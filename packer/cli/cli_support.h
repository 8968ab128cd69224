// What the subcommands share: messages, names shown in UTF-8, and loading FILE.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "extract/extract.h"
#include "packer/system/platform.h"

// The formatted text, in UTF-8, on standard output or standard error.
void Print(FILE* stream, const char* format, ...) PRINTF_FORMAT(2, 3);

// "morlu-pack: " and the formatted text on standard error; returns code.
int Complain(int code, const char* format, ...) PRINTF_FORMAT(2, 3);

// A usage error of one command: the message and the command's usage line.
int UsageError(const char* command, const char* arguments, const char* format, ...)
    PRINTF_FORMAT(3, 4);

struct Command;

// Prints `morlu-pack NAME --help` to standard output; returns EXIT_OK.
int ShowCommandHelp(const Command& command);

// Splits the arguments of a command that takes only operands and -h/--help:
// "--" ends the options, and one dash alone is an operand. Returns
// kKeepGoing, or the exit code once it has shown the help or a usage error.
const int kKeepGoing = -1;
int ParseOperands(const Command& command, int argc, char** argv, std::vector<const char*>* operands);

// Code page 932 bytes as UTF-8 for the terminal: bytes that do not convert
// and control characters are shown as \xNN, C1 controls as \uNNNN.
std::string DisplayName(const char* cp932, size_t length);
std::string DisplayName(const char* cp932);

// The words for why an extraction stopped.
const char* DescribeFailure(ExtractFailure reason);

// FILE in memory; the engine reads the archive in place.
struct LoadedArchive {
    const unsigned char* archive = nullptr;
    uint32_t size = 0;
    bool installer = false;  // found in a payload container
    int32_t memberCount = 0; // the container's count, which the installer checks
    FileMemory memory;
};

// Loads path and finds the archive: a program ("MZ") is an installer whose
// payload container the installer's own scan finds; any other file is a bare
// archive, which must start with a member header: an empty file or one of
// other bytes is refused as damage, never taken for an archive of no
// members. Returns an exit code, having told the user what went wrong.
int LoadArchive(const char* path, LoadedArchive* loaded);

// The installer refuses a payload header that counts other members than the
// archive holds: members, as the engine counted them, and what became of
// them (", which were extracted", or ""). Returns the exit code, having told
// the user of a mismatch.
int CheckMemberCount(const char* path, const LoadedArchive& loaded, int members, const char* done);
