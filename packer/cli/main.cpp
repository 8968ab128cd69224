// morlu-pack: the publisher's tool for the installer's payload.
#include <stdio.h>
#include <string.h>

#include <string>

#include "packer/cli/cli_support.h"
#include "packer/cli/command.h"
#include "packer/system/exit_codes.h"
#include "packer/system/platform.h"

static const Command* const kCommands[] = {
    &buildCommand,
    &listCommand,
    &testCommand,
    &extractCommand,
};

static void PrintHelp(FILE* out)
{
    std::string help = "Usage: morlu-pack COMMAND ARGUMENTS...\n"
                       "The publisher's tool for the Morlu2 installer: builds installers from the stub\n"
                       "and a product folder, and lists, tests or extracts their LHA payload. FILE is\n"
                       "a bare LHA archive or an installer (a Windows program, \"MZ\") whose payload\n"
                       "container holds the archive.\n\n";
    for (const Command* command : kCommands)
        help = help + "  morlu-pack " + command->name + " " + command->arguments + "\n      " + command->summary + "\n";
    help += "\n  morlu-pack COMMAND --help\n      Show a command's options and what it does.\n"
            "  morlu-pack -h, --help\n      Show this help.\n"
            "  morlu-pack --version\n      Show the version of morlu-pack.\n\n"
            "Every command takes -- to end its options. Errors name the file and the\n"
            "member and go to standard error, after what went to standard output.\n"
            "man morlu-pack has the whole manual.\n\n"
            "Exit status:\n"
            "  0  success\n"
            "  1  usage error\n"
            "  2  data error: the archive, the container or an input the installer\n"
            "     cannot carry\n"
            "  3  file error: a file cannot be read, created or written\n";
    WriteText(out, help);
}

int main(int argc, char** argv)
{
    StartProgram(&argc, &argv);
    if (argc < 2) {
        WriteText(stderr, "morlu-pack: no command given\n");
        PrintHelp(stderr);
        return EXIT_USAGE;
    }
    if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
        PrintHelp(stdout);
        return EXIT_OK;
    }
    if (strcmp(argv[1], "--version") == 0) {
        Print(stdout, "morlu-pack %s\n", MORLU_VERSION);
        return EXIT_OK;
    }
    for (const Command* command : kCommands) {
        if (strcmp(argv[1], command->name) == 0)
            return command->run(argc - 1, argv + 1);
    }
    Print(stderr, "morlu-pack: unknown command '%s' (try 'morlu-pack --help')\n", argv[1]);
    return EXIT_USAGE;
}
