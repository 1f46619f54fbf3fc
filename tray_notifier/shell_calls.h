#pragma once
// The few system calls of the tray notifier whose effect cannot be watched
// from outside (the notification area, the session service's message box,
// the session list) or whose timing matters (the balloon pause). They live
// in a module of their own so that the rest of the program calls them only
// through these functions.
#include <windows.h>
#include <shellapi.h>
#include <wtsapi32.h>

BOOL NotifyShell(DWORD message, NOTIFYICONDATAW* record);

// WTSSendMessageW on the local server.
BOOL SendSessionMessageBox(DWORD session, WCHAR* title, DWORD titleBytes, WCHAR* message,
                           DWORD messageBytes, DWORD style, DWORD timeoutSeconds, DWORD* response,
                           BOOL wait);

// WTSEnumerateSessionsW on the local server, and the matching free.
BOOL EnumerateSessions(WTS_SESSION_INFOW** sessions, DWORD* count);
void FreeSessionList(WTS_SESSION_INFOW* sessions);

// An icon resource of the program itself.
HICON LoadSeverityIcon(int resourceId);
BOOL DestroySeverityIcon(HICON icon);

// Lets a balloon stay up before the next notice of the same connection.
void PauseForBalloon(DWORD milliseconds);
