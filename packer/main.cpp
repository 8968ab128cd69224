// morlu-pack: the publisher's tool for the installer's payload.
#include <stdio.h>
#include <string.h>

#include "packer/command.h"
#include "packer/exit_codes.h"

static const Command* const kCommands[] = {
    &listCommand,
    &testCommand,
    &extractCommand,
    &buildCommand,
};

static void PrintHelp(FILE* out)
{
    fputs("Usage: morlu-pack COMMAND ARGUMENTS...\n"
          "The publisher's tool for the Morlu2 installer and its LHA payload.\n"
          "FILE is a bare LHA archive or an installer (a Windows program, \"MZ\") whose\n"
          "payload container holds the archive.\n\n",
          out);
    for (const Command* command : kCommands)
        fprintf(out, "  morlu-pack %s %s\n      %s\n", command->name, command->arguments, command->summary);
    fputs("\n  morlu-pack --help\n      Show this help.\n\n"
          "Member names are code page 932 and shown in UTF-8. Errors name the file\n"
          "and the member and go to standard error.\n\n"
          "Exit status:\n"
          "  0  success\n"
          "  1  usage error\n"
          "  2  data error: the archive or the container is damaged or not supported\n"
          "  3  file error: a file cannot be read, created or written\n",
          out);
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fputs("morlu-pack: no command given\n", stderr);
        PrintHelp(stderr);
        return EXIT_USAGE;
    }
    if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
        PrintHelp(stdout);
        return EXIT_OK;
    }
    for (const Command* command : kCommands) {
        if (strcmp(argv[1], command->name) == 0)
            return command->run(argc - 1, argv + 1);
    }
    fprintf(stderr, "morlu-pack: unknown command '%s' (try 'morlu-pack --help')\n", argv[1]);
    return EXIT_USAGE;
}
