// The demo product: what the installer installs and links to.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    MessageBoxA(NULL, "Morlu2 のﾃﾞﾓ製品です｡", "Morlu2", MB_OK);
    return 0;
}
