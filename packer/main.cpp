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
          "in UTF-8; control characters and bytes that are no code page 932 are shown\n"
          "as \\xNN, C1 controls as \\uNNNN, so that no name acts on the terminal.\n\n"
          "test holds an installer to the installer's own rules: the payload header's\n"
          "member count, names it can create in its fresh work folder (no subfolders,\n"
          "devices such as CON or NUL, or <>\"|?*), and every member's CRC-16.\n\n"
          "extract writes what the installer writes: a name with a backslash goes into\n"
          "that subfolder, which must exist and is entered only if it is no link; a\n"
          "name that would leave DIR (absolute, a drive or stream colon, \"..\") is\n"
          "refused as damage. Each member is written under a temporary name and put in\n"
          "place only once its CRC-16 matched: it replaces whatever stood under its name\n"
          "(a file, even read-only, a link or a FIFO) without writing through it, and a\n"
          "damaged member leaves that as it was. Every file gets its member's time. On\n"
          "Linux the names are written in UTF-8 with slashes.\n\n"
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
