#include "session_notifications.h"

#include <wtsapi32.h>

#include "client_launch.h"

typedef BOOL(WINAPI* SessionRegistrationFunction)(HWND, DWORD);
typedef BOOL(WINAPI* SessionUnregistrationFunction)(HWND);

static SessionUnregistrationFunction g_unregisterSessionNotification;

DWORD QueryActiveConsoleSession(void)
{
    return WTSGetActiveConsoleSessionId();
}

// Nothing in this program links the module, so nobody else may have brought
// it in; then it is loaded from the system directory, never from elsewhere.
static HMODULE FindTerminalServicesModule(void)
{
    HMODULE module = GetModuleHandleW(L"WtsApi32.dll");
    if (module != NULL)
        return module;
    WCHAR path[SYSTEM_PATH_UNITS];
    return BuildSystemPath(L"WtsApi32.dll", path) ? LoadLibraryW(path) : NULL;
}

static void (*FindFunction(HMODULE module, const char* name))(void)
{
    return reinterpret_cast<void (*)(void)>(GetProcAddress(module, name));
}

BOOL RegisterServerForSessionChanges(HWND window)
{
    HMODULE module = FindTerminalServicesModule();
    if (module == NULL)
        return FALSE;
    SessionRegistrationFunction registerFunction = reinterpret_cast<SessionRegistrationFunction>(
        FindFunction(module, "WTSRegisterSessionNotification"));
    g_unregisterSessionNotification = reinterpret_cast<SessionUnregistrationFunction>(
        FindFunction(module, "WTSUnRegisterSessionNotification"));
    if (registerFunction == NULL || g_unregisterSessionNotification == NULL)
        return FALSE;
    return registerFunction(window, NOTIFY_FOR_ALL_SESSIONS);
}

void UnregisterServerFromSessionChanges(HWND window)
{
    g_unregisterSessionNotification(window);
}
