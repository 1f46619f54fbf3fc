#pragma once
// Recording stand-in for the notifier server's Terminal Services calls, for
// what Wine cannot show: no console session, a console session other than
// the one every process reports, and the unregistration at the end.
#include <windows.h>

#include <vector>

extern DWORD g_fakeConsoleSession;
extern BOOL g_fakeRegistrationResult;
extern std::vector<HWND> g_fakeRegisteredWindows;
extern std::vector<HWND> g_fakeUnregisteredWindows;
