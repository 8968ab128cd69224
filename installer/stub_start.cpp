// The stub's entry point, in place of the C runtime's: the stub then needs no
// msvcrt.dll, which the first Windows 95 lacks, and no start-up code built for
// newer processors than a 486. The stub has no global constructors to run.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int);

// The command line after the program's name, as WinMain is given it.
static LPSTR ArgumentsOf(LPSTR line)
{
    BOOL quoted = FALSE;
    for (; *line != '\0' && (quoted || (*line != ' ' && *line != '\t')); ++line) {
        if (*line == '"')
            quoted = !quoted;
    }
    while (*line == ' ' || *line == '\t')
        ++line;
    return line;
}

extern "C" void StubStart()
{
    ExitProcess(WinMain(GetModuleHandleA(NULL), NULL, ArgumentsOf(GetCommandLineA()), SW_SHOWDEFAULT));
}
