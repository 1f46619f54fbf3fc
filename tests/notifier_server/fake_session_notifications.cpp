#include "fake_session_notifications.h"

#include "session_notifications.h"

DWORD g_fakeConsoleSession = 0xFFFFFFFF;
BOOL g_fakeRegistrationResult = TRUE;
std::vector<HWND> g_fakeRegisteredWindows;
std::vector<HWND> g_fakeUnregisteredWindows;

DWORD QueryActiveConsoleSession(void)
{
    return g_fakeConsoleSession;
}

BOOL RegisterServerForSessionChanges(HWND window)
{
    g_fakeRegisteredWindows.push_back(window);
    return g_fakeRegistrationResult;
}

void UnregisterServerFromSessionChanges(HWND window)
{
    g_fakeUnregisteredWindows.push_back(window);
}
