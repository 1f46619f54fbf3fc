#include "command_line.h"

#include <wchar.h>

static const WCHAR SERVICE_EXE_MARKER[] = L"\\bin\\ArvexaService.exe\"";

// Appends text at *used; FALSE when it and the final NUL would not fit.
static BOOL AppendText(WCHAR* buffer, size_t bufferUnits, size_t* used, const WCHAR* text)
{
    size_t length = wcslen(text);
    if (*used + length + 1 > bufferUnits)
        return FALSE;
    wmemcpy(buffer + *used, text, length);
    *used += length;
    buffer[*used] = L'\0';
    return TRUE;
}

BOOL BuildConfiguredCommandLine(const WCHAR* exePath, const WCHAR* extraArgument,
                                WCHAR* buffer, size_t bufferUnits)
{
    if (bufferUnits == 0)
        return FALSE;
    size_t used = 0;
    buffer[0] = L'\0';
    BOOL fits = AppendText(buffer, bufferUnits, &used, L"\"")
             && AppendText(buffer, bufferUnits, &used, exePath)
             && AppendText(buffer, bufferUnits, &used, L"\" -s");
    if (fits && extraArgument != NULL)
        fits = AppendText(buffer, bufferUnits, &used, L" ")
            && AppendText(buffer, bufferUnits, &used, extraArgument);
    if (!fits)
        buffer[0] = L'\0';
    return fits;
}

BOOL DeriveInstallDirectory(const WCHAR* configuredCommandLine,
                            WCHAR* directory, size_t directoryUnits)
{
    if (directoryUnits == 0)
        return FALSE;
    directory[0] = L'\0';
    const WCHAR* start = configuredCommandLine;
    if (*start == L'"')
        start++;
    const WCHAR* marker = wcsstr(start, SERVICE_EXE_MARKER);
    if (marker == NULL)
        return FALSE;
    size_t length = (size_t)(marker - start);
    if (length + 1 > directoryUnits)
        return FALSE;
    wmemcpy(directory, start, length);
    directory[length] = L'\0';
    return TRUE;
}

DWORD WaitInterval(DWORD waitHint)
{
    DWORD interval = waitHint / 10;
    if (interval < 1000)
        return 1000;
    if (interval > 10000)
        return 10000;
    return interval;
}

BOOL MoreThanElapsed(DWORD startTick, DWORD nowTick, DWORD limit)
{
    DWORD elapsed = nowTick - startTick;
    return elapsed > limit;
}
