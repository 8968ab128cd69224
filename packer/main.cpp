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
          "list prints one line per member: method, packed size, original size,\n"
          "CRC-16 (hex), local date and time, name. Names are code page 932 and shown\n"
          "in UTF-8.\n\n"
          "extract writes what the installer writes: a name with a backslash goes into\n"
          "that subfolder, which must exist; a name that would leave DIR (absolute, a\n"
          "drive or stream colon, \"..\") is refused as damage; a read-only file of the\n"
          "same name is replaced; every file gets its member's time. On Linux the names\n"
          "are written in UTF-8 with slashes.\n\n"
          "Errors name the file and the member and go to standard error.\n\n"
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
