// The stub's entry point, in place of the C runtime's: the stub then needs no
// msvcrt.dll, which the first Windows 95 lacks, and no start-up code built for
// newer processors than a 486. The stub has no global constructors to run.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int);

// The installer takes no command line: WinMain is given an empty one.
static char noArguments[] = "";

extern "C" void StubStart()
{
    ExitProcess(WinMain(GetModuleHandleA(NULL), NULL, noArguments, SW_SHOWDEFAULT));
}
