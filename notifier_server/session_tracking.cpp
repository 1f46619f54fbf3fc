#include "session_tracking.h"

#include <tlhelp32.h>
#include <wchar.h>

#include "client_launch.h"
#include "session_notifications.h"
#include "session_pipes.h"

#if !defined(_WIN64)
static_assert(sizeof(PROCESSENTRY32W) == 556, "PROCESSENTRY32W of the 32-bit build");
#endif

struct PendingLaunch {
    WCHAR pipeName[PIPE_NAME_UNITS];
    DWORD sessionId;
};

static HWND g_serverWindow;
static PendingLaunch g_pendingLaunch;
static BOOL g_sessionNotificationsRegistered;

void RecordServerWindow(HWND window)
{
    g_serverWindow = window;
}

HWND ServerWindow(void)
{
    return g_serverWindow;
}

void SetPendingLaunch(const WCHAR* pipeName, DWORD sessionId)
{
    EnterServerLock();
    ZeroMemory(g_pendingLaunch.pipeName, sizeof(g_pendingLaunch.pipeName));
    wcsncpy(g_pendingLaunch.pipeName, pipeName, PIPE_NAME_UNITS - 1);
    g_pendingLaunch.sessionId = sessionId;
    LeaveServerLock();
}

// The thread gets its copy of the pending launch before it exists, so a
// logon that follows at once cannot change the launch it is about to make.
static void StartLaunchThread(void)
{
    PendingLaunch* launch = (PendingLaunch*)HeapAlloc(GetProcessHeap(), 0, sizeof(PendingLaunch));
    if (launch == NULL)
        return;
    EnterServerLock();
    *launch = g_pendingLaunch;
    LeaveServerLock();
    HANDLE thread = CreateThread(NULL, 0, LaunchAndConnect, launch, 0, NULL);
    if (thread == NULL) {
        HeapFree(GetProcessHeap(), 0, launch);
        return;
    }
    CloseHandle(thread);
}

static void LaunchForSession(DWORD sessionId)
{
    WCHAR pipeName[PIPE_NAME_UNITS];
    FormatSessionPipeName(sessionId, pipeName);
    SetPendingLaunch(pipeName, sessionId);
    StartLaunchThread();
}

void StartConsoleLaunch(void)
{
    CreateServerLock();
    DWORD consoleSession = QueryActiveConsoleSession();
    if (consoleSession == ACTIVE_CONSOLE_SESSION)
        return;
    LaunchForSession(consoleSession);
}

void StartSessionNotifications(HWND window)
{
    g_sessionNotificationsRegistered = RegisterServerForSessionChanges(window);
}

// The console session is asked anew for every candidate: it can change
// during the walk.
static BOOL RunsInConsoleSession(DWORD processId)
{
    DWORD sessionId;
    if (!ProcessIdToSessionId(processId, &sessionId))
        sessionId = 0;
    return sessionId == QueryActiveConsoleSession();
}

BOOL IsTrayNotifierInConsoleSession(void)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return FALSE;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof(entry);
    BOOL found = FALSE;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry))
        found = wcscmp(entry.szExeFile, TRAY_NOTIFIER_FILE) == 0 &&
                RunsInConsoleSession(entry.th32ProcessID);
    CloseHandle(snapshot);
    return found;
}

DWORD WINAPI LaunchAndConnect(LPVOID parameter)
{
    PendingLaunch launch = *(PendingLaunch*)parameter;
    HeapFree(GetProcessHeap(), 0, parameter);
    WCHAR programPath[SYSTEM_PATH_UNITS];
    if (!BuildSystemPath(TRAY_NOTIFIER_FILE, programPath))
        return (DWORD)-1;
    // Always the console session's desktop, whatever session the pipe names.
    if (!LaunchInSession(programPath, launch.pipeName, ACTIVE_CONSOLE_SESSION))
        return (DWORD)-1;
    for (int attempt = 0; attempt < LAUNCH_CONNECT_ATTEMPTS; attempt++) {
        HANDLE pipe;
        if (ConnectSessionPipe(launch.pipeName, &pipe)) {
            AddSession(launch.sessionId, pipe);
            return 0;
        }
        Sleep(LAUNCH_CONNECT_PAUSE_MS);
    }
    // The tray notifier never opened its pipe; it goes on unconnected.
    return (DWORD)-1;
}

// A logon needs a tray notifier only when the console session has none.
static void HandleLogon(DWORD sessionId)
{
    if (!IsTrayNotifierInConsoleSession())
        LaunchForSession(sessionId);
}

static void HandleSessionChange(WPARAM change, DWORD sessionId)
{
    if (change == WTS_SESSION_LOGON)
        HandleLogon(sessionId);
    else if (change == WTS_SESSION_LOGOFF)
        RemoveSession(sessionId);
}

static void PaintNothing(HWND window)
{
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
}

LRESULT CALLBACK ServerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
    case WM_COMMAND:
        return 0;
    case WM_PAINT:
        PaintNothing(window);
        return 0;
    case WM_WTSSESSION_CHANGE:
        HandleSessionChange(wParam, (DWORD)lParam);
        return 0;
    case WM_DESTROY:
        if (g_sessionNotificationsRegistered)
            UnregisterServerFromSessionChanges(window);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
