#include "console_session.h"

#include "shell_calls.h"

static WCHAR AsciiLower(WCHAR unit)
{
    return (unit >= L'A' && unit <= L'Z') ? (WCHAR)(unit + (L'a' - L'A')) : unit;
}

// Window station names compare ignoring the case of A to Z only.
static BOOL IsConsoleStation(const WCHAR* stationName)
{
    const WCHAR* console = L"console";
    if (stationName == NULL)
        return FALSE;
    for (;; stationName++, console++) {
        if (AsciiLower(*stationName) != *console)
            return FALSE;
        if (*console == L'\0')
            return TRUE;
    }
}

int FindConsoleSession(void)
{
    WTS_SESSION_INFOW* sessions = NULL;
    DWORD count = 0;
    if (!EnumerateSessions(&sessions, &count))
        return NO_CONSOLE_SESSION;
    int found = NO_CONSOLE_SESSION;
    for (DWORD i = 0; i < count; i++) {
        if (sessions[i].State == WTSActive && IsConsoleStation(sessions[i].pWinStationName)) {
            found = (int)sessions[i].SessionId;
            break;
        }
    }
    FreeSessionList(sessions);
    return found;
}

BOOL AcquireSingleInstance(void)
{
    WCHAR mutexName[50];
    wsprintfW(mutexName, L"Local\\NotiTrayClientW%d", FindConsoleSession());
    HANDLE instanceMutex = CreateMutexW(NULL, FALSE, mutexName);
    if (instanceMutex == NULL)
        return FALSE;
    return GetLastError() != ERROR_ALREADY_EXISTS;
}
