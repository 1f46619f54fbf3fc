#include "session_notifications.h"

#include <wtsapi32.h>

typedef BOOL(WINAPI* RegisterSessionNotificationProc)(HWND, DWORD);
typedef BOOL(WINAPI* UnregisterSessionNotificationProc)(HWND);

static BOOL sessionNotificationsRegistered = FALSE;
static UnregisterSessionNotificationProc unregisterSessionNotification = NULL;

BOOL RegisterSessionNotifications(HWND window)
{
    // Always loaded: the program links other calls of this library.
    HMODULE wtsApi = GetModuleHandleW(L"WtsApi32.dll");
    if (wtsApi == NULL)
        return FALSE;
    RegisterSessionNotificationProc registerProc = (RegisterSessionNotificationProc)(void*)
        GetProcAddress(wtsApi, "WTSRegisterSessionNotification");
    UnregisterSessionNotificationProc unregisterProc = (UnregisterSessionNotificationProc)(void*)
        GetProcAddress(wtsApi, "WTSUnRegisterSessionNotification");
    if (registerProc == NULL || unregisterProc == NULL)
        return FALSE;
    if (!registerProc(window, NOTIFY_FOR_THIS_SESSION))
        return FALSE;
    unregisterSessionNotification = unregisterProc;
    sessionNotificationsRegistered = TRUE;
    return TRUE;
}

void UnregisterSessionNotifications(HWND window)
{
    if (sessionNotificationsRegistered)
        unregisterSessionNotification(window);
}
