#include "shell_calls.h"

BOOL NotifyShell(DWORD message, NOTIFYICONDATAW* record)
{
    return Shell_NotifyIconW(message, record);
}

BOOL SendSessionMessageBox(DWORD session, WCHAR* title, DWORD titleBytes, WCHAR* message,
                           DWORD messageBytes, DWORD style, DWORD timeoutSeconds, DWORD* response,
                           BOOL wait)
{
    return WTSSendMessageW(WTS_CURRENT_SERVER_HANDLE, session, title, titleBytes, message,
                           messageBytes, style, timeoutSeconds, response, wait);
}

BOOL EnumerateSessions(WTS_SESSION_INFOW** sessions, DWORD* count)
{
    return WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0 /* Reserved */, 1 /* Version */,
                                 sessions, count);
}

void FreeSessionList(WTS_SESSION_INFOW* sessions)
{
    WTSFreeMemory(sessions);
}

HICON LoadSeverityIcon(int resourceId)
{
    return LoadIconW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(resourceId));
}

BOOL DestroySeverityIcon(HICON icon)
{
    return DestroyIcon(icon);
}

void PauseForBalloon(DWORD milliseconds)
{
    Sleep(milliseconds);
}
