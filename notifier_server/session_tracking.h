#pragma once
// The server window, the tray notifier launches at start and after logons,
// and the logoff of sessions.
#include <windows.h>

#define TRAY_NOTIFIER_FILE L"NotiTrayClient.exe"

static const int LAUNCH_CONNECT_ATTEMPTS = 150;
static const DWORD LAUNCH_CONNECT_PAUSE_MS = 10;

// The hidden window that the drain thread ends with WM_DESTROY.
void RecordServerWindow(HWND window);
HWND ServerWindow(void);

// Creates the server lock, then starts a tray notifier in the console
// session, if one is attached, with that session's pipe.
void StartConsoleLaunch(void);
// Registers the server window for session changes and remembers whether
// that worked, for the unregistration at WM_DESTROY.
void StartSessionNotifications(HWND window);

LRESULT CALLBACK ServerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A process named exactly "NotiTrayClient.exe" runs in the console session.
BOOL IsTrayNotifierInConsoleSession(void);
void SetPendingLaunch(const WCHAR* pipeName, DWORD sessionId);
// Thread routine: starts the tray notifier in the console session, connects
// to its pipe and files the connection. 0 when connected, else -1.
DWORD WINAPI LaunchAndConnect(LPVOID launch);
