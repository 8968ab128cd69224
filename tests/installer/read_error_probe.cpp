// Stands in for the installer when a page of its own file cannot be read:
// its file "mapped" at installerImage, the read-error handler in place, then
// the in-page error that Windows raises for such a page, inside the image or,
// for a program whose name says "outside", beyond it.
#include <windows.h>

#include <string.h>

#include "base/process_state.h"
#include "installer/read_errors.h"

static unsigned char image[4096];

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    installerImage = image;
    installerImageSize = sizeof image;
    TellReadErrors();
    char name[MAX_PATH] = "";
    GetModuleFileNameA(NULL, name, MAX_PATH);
    const unsigned char* page = strstr(name, "outside") != NULL ? image + sizeof image + 64 : image + 100;
    ULONG_PTR information[3] = {0, (ULONG_PTR)page, (ULONG_PTR)0xC000009C}; // a read, STATUS_DEVICE_DATA_ERROR
    RaiseException(EXCEPTION_IN_PAGE_ERROR, 0, 3, information);
    return 0;
}
