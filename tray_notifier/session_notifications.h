#pragma once
// Session change notifications for the notifier window, looked up at run
// time so that the program also runs where the session calls are missing.
#include <windows.h>

// TRUE when the window now receives WM_WTSSESSION_CHANGE for its own session.
BOOL RegisterSessionNotifications(HWND window);
// Undoes a successful registration; does nothing otherwise.
void UnregisterSessionNotifications(HWND window);
