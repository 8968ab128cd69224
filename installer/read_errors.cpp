#include "installer/read_errors.h"

#include <windows.h>

#include "base/caption.h"
#include "base/process_state.h"
#include "installer/exit_status.h"
#include "installer/work_folder.h"

static LONG WINAPI EndOnReadError(EXCEPTION_POINTERS* exception)
{
    // Only a page of the installer's own file: every other exception goes its
    // usual way. Windows tells an unreadable page as an in-page error, wine as
    // an access violation; the view is read only, so nothing else faults there.
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    if ((record->ExceptionCode != EXCEPTION_IN_PAGE_ERROR && record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION) ||
        record->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    const unsigned char* address = (const unsigned char*)record->ExceptionInformation[1];
    if (installerImage == NULL || address < installerImage || address >= installerImage + installerImageSize)
        return EXCEPTION_CONTINUE_SEARCH;
    RemoveWorkFolder();
    ShowReadError();
    ExitProcess(EXIT_DAMAGED_INSTALLER);
}

void ShowReadError()
{
    ShowWarning(progressWindow, "ｲﾝｽﾄｰﾙﾌﾟﾛｸﾞﾗﾑのﾌｧｲﾙを読めません｡ CD やﾈｯﾄﾜｰｸの上にある場合は､"
                                "ﾊﾟｿｺﾝにｺﾋﾟｰしてから起動してください｡");
}

void TellReadErrors()
{
    // Windows XP and later ask a vectored handler first, before any frame is
    // walked: the stub's frames carry no unwind tables. Windows 98 and 2000
    // (x86 only, whose frames need none) end at the unhandled-exception filter.
    typedef PVOID(WINAPI * AddHandler)(ULONG, PVECTORED_EXCEPTION_HANDLER);
    AddHandler addHandler =
        (AddHandler)(void*)GetProcAddress(GetModuleHandleA("kernel32"), "AddVectoredExceptionHandler");
    if (addHandler != NULL)
        addHandler(TRUE, EndOnReadError);
    else
        SetUnhandledExceptionFilter(EndOnReadError);
}
