#pragma once
// The few Terminal Services calls of the notifier server, in one module so
// that a test program can put a recording stand-in in its place.
#include <windows.h>

// WTSGetActiveConsoleSessionId: 0xFFFFFFFF when no session is attached.
DWORD QueryActiveConsoleSession(void);
// Registers the window for the logons and logoffs of every session; FALSE
// when the functions are missing or the registration is refused.
BOOL RegisterServerForSessionChanges(HWND window);
// Undoes a registration that succeeded.
void UnregisterServerFromSessionChanges(HWND window);
