// One subcommand of morlu-pack: an entry of the dispatch table in main.cpp,
// defined in its own file.
#pragma once

struct Command {
    const char* name;
    const char* arguments; // what follows the name, for the usage lines
    const char* summary;   // one line for --help
    // argv[0] is the command's name; the result is the exit code.
    int (*run)(int argc, char** argv);
    const char* details;   // the rest of `morlu-pack NAME --help`
};

extern const Command listCommand;
extern const Command testCommand;
extern const Command extractCommand;
extern const Command buildCommand;
