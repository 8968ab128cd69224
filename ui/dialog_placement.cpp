#include "ui/dialog_placement.h"

#include "base/caption.h"
#include "base/cp932.h"
#include "base/screen_text.h"

static const int kTitleBufferSize = 512;

static int Correction(int start, int size, int low, int high)
{
    int correction = 0;
    if (start < low)
        correction = low - start;
    if (start + size > high)
        correction = high - (start + size);
    return correction;
}

POINT PlaceInWorkArea(const RECT& window, const RECT& workArea)
{
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    int x = (workArea.left + workArea.right) / 2 - width / 2;
    int y = (workArea.top + workArea.bottom) / 2 - height / 2;
    POINT corner;
    corner.x = x + Correction(x, width, workArea.left, workArea.right);
    corner.y = y + Correction(y, height, workArea.top, workArea.bottom);
    return corner;
}

// Appends whole characters of tail while they fit in capacity bytes with the NUL.
static void AppendWithin(char* text, const char* tail, int capacity)
{
    int length = lstrlenA(text);
    while (*tail != '\0') {
        int size = Cp932CharLength(tail);
        if (length + size >= capacity)
            break;
        for (int i = 0; i < size; ++i)
            text[length++] = *tail++;
    }
    text[length] = '\0';
}

void PlaceDialogAndSetTitle(HWND window)
{
    RECT bounds;
    RECT workArea;
    GetWindowRect(window, &bounds);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    POINT corner = PlaceInWorkArea(bounds, workArea);
    MoveWindow(window, corner.x, corner.y, bounds.right - bounds.left, bounds.bottom - bounds.top, FALSE);

    // Room for every character the title can hold, cut below at whole characters.
    char ownTitle[2 * kTitleBufferSize];
    char title[kTitleBufferSize];
    GetWindowTextCp932(window, ownTitle, sizeof ownTitle);
    title[0] = '\0';
    AppendWithin(title, GetInstallerCaption(), kTitleBufferSize);
    AppendWithin(title, " ", kTitleBufferSize);
    AppendWithin(title, ownTitle, kTitleBufferSize);
    SetWindowTextCp932(window, title);
}
