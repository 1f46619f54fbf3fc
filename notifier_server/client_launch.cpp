#include "client_launch.h"

#include <userenv.h>
#include <wchar.h>

#include "session_notifications.h"

#if !defined(_WIN64)
static_assert(sizeof(STARTUPINFOW) == 68, "STARTUPINFOW of the 32-bit build");
#endif

BOOL BuildSystemPath(const WCHAR* fileName, WCHAR* path)
{
    UINT length = GetSystemDirectoryW(path, SYSTEM_PATH_UNITS);
    if (length == 0 || length + 1 + wcslen(fileName) >= SYSTEM_PATH_UNITS)
        return FALSE;
    path[length] = L'\\';
    wcscpy(path + length + 1, fileName);
    return TRUE;
}

// Hidden, on the desktop where the session's user sees tray icons.
static void PrepareHiddenStartup(STARTUPINFOW* startup, WCHAR* desktop)
{
    ZeroMemory(startup, sizeof(*startup));
    startup->cb = sizeof(*startup);
    startup->lpDesktop = desktop;
    startup->dwFlags = STARTF_USESHOWWINDOW;
    startup->wShowWindow = SW_HIDE;
}

// A primary copy of our own token, moved into the session. Without the right
// to assign sessions the move fails silently and the copy keeps our session.
static BOOL DuplicateOwnTokenForSession(DWORD sessionId, HANDLE* ownToken, HANDLE* sessionToken)
{
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, ownToken))
        return FALSE;
    if (!DuplicateTokenEx(*ownToken, MAXIMUM_ALLOWED, NULL, SecurityIdentification, TokenPrimary,
                          sessionToken)) {
        CloseHandle(*ownToken);
        return FALSE;
    }
    SetTokenInformation(*sessionToken, TokenSessionId, &sessionId, sizeof(sessionId));
    return TRUE;
}

static BOOL StartWithToken(HANDLE token, const WCHAR* programPath, WCHAR* commandLine,
                           STARTUPINFOW* startup)
{
    // The session user's own environment, not ours; ours only as a fallback.
    LPVOID environment = NULL;
    DWORD flags = NORMAL_PRIORITY_CLASS;
    if (CreateEnvironmentBlock(&environment, token, FALSE))
        flags |= CREATE_UNICODE_ENVIRONMENT;
    else
        environment = NULL;
    PROCESS_INFORMATION process;
    BOOL started = CreateProcessAsUserW(token, programPath, commandLine,
                                        NULL /* lpProcessAttributes */, NULL /* lpThreadAttributes */,
                                        FALSE /* bInheritHandles */, flags, environment,
                                        NULL /* lpCurrentDirectory */, startup, &process);
    if (started) {
        // The tray notifier runs on its own; nobody waits for it.
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (environment != NULL)
        DestroyEnvironmentBlock(environment);
    return started;
}

BOOL LaunchInSession(const WCHAR* programPath, const WCHAR* commandLine, DWORD sessionId)
{
    if (sessionId == ACTIVE_CONSOLE_SESSION)
        sessionId = QueryActiveConsoleSession();
    if (sessionId == ACTIVE_CONSOLE_SESSION)
        return FALSE;
    // The call may write into the command line, so it gets a copy.
    WCHAR commandCopy[PIPE_COMMAND_UNITS];
    if (wcslen(commandLine) >= PIPE_COMMAND_UNITS)
        return FALSE;
    wcscpy(commandCopy, commandLine);
    WCHAR desktop[] = L"WinSta0\\Default";
    STARTUPINFOW startup;
    PrepareHiddenStartup(&startup, desktop);
    HANDLE ownToken;
    HANDLE sessionToken;
    if (!DuplicateOwnTokenForSession(sessionId, &ownToken, &sessionToken))
        return FALSE;
    BOOL started = StartWithToken(sessionToken, programPath, commandCopy, &startup);
    CloseHandle(sessionToken);
    CloseHandle(ownToken);
    return started;
}
