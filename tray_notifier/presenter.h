#pragma once
// Turns event notices into balloons on the notification-area icon, and owns
// the notifier window's procedure.
#include <windows.h>

#define NOTIFIER_TITLE L"Vantrel Arvexa"
#define TRAY_ICON_ID 2
#define TRAY_CALLBACK_MESSAGE WM_APP
#define BALLOON_TIMEOUT_MS 2500
#define POPUP_TIMEOUT_SECONDS 15

// Shell32's packed version, major * 65536 + minor, or 0 when it cannot be read.
DWORD ShellVersion(const WCHAR* libraryName);
// The record size the shell of that version understands.
DWORD TrayRecordSizeForShell(DWORD shellVersion);

void InitTrayIcon(HWND window);
// Shows the notice as a balloon while balloons are visible (pausing for the
// balloon afterwards) and always keeps it as the last notice.
BOOL ShowNotice(const WCHAR* title, const WCHAR* message, int severity);
// Puts the icon back with the last notice's balloon, if it was up.
void ReaddTrayIcon(void);
void ShowNoticePopup(WCHAR* title, WCHAR* message, DWORD infoFlags);

LRESULT CALLBACK NotifierWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
