#include "presenter.h"

#include <shellapi.h>
#include <shlwapi.h>
#include <wtsapi32.h>

#include "console_session.h"
#include "resource.h"
#include "session_notifications.h"
#include "shell_calls.h"

// The shipping build talks to 32-bit shells, which know these layouts.
#if !defined(_WIN64)
static_assert(NOTIFYICONDATAW_V3_SIZE == 952, "record with its item GUID");
static_assert(NOTIFYICONDATAW_V2_SIZE == 936, "record without its item GUID");
static_assert(sizeof(DLLVERSIONINFO) == 20, "version record of DllGetVersion");
#endif

#define SHELL_VERSION_WITH_ITEM_GUID (5u * 65536u)

// How a severity is presented. A notice's severity becomes the info flags of
// the record; the icon and the message box style follow the info flags.
struct SeverityPresentation {
    int severity;
    DWORD infoFlags;
    int iconResource;
    UINT boxStyle;
};

static const SeverityPresentation severityTable[] = {
    {1, NIIF_INFO | NIIF_NOSOUND, IDI_SEVERITY_INFORMATION, MB_ICONINFORMATION},
    {2, NIIF_WARNING, IDI_SEVERITY_WARNING, MB_ICONWARNING},
    {3, NIIF_ERROR, IDI_SEVERITY_ERROR, MB_ICONERROR},
};

static const int otherIconResource = IDI_SEVERITY_INFORMATION;
static const UINT otherBoxStyle = MB_ICONINFORMATION;

// What a session change does to the icon and to balloon visibility.
enum BalloonChange { BALLOONS_UNCHANGED, BALLOONS_SHOWN, BALLOONS_HIDDEN };

struct SessionChangeAction {
    WPARAM event;
    BOOL readdIcon;
    BalloonChange balloons;
};

static const SessionChangeAction sessionChangeTable[] = {
    {WTS_CONSOLE_CONNECT, TRUE, BALLOONS_SHOWN},
    {WTS_CONSOLE_DISCONNECT, FALSE, BALLOONS_HIDDEN},
    {WTS_REMOTE_CONNECT, FALSE, BALLOONS_SHOWN},
    {WTS_REMOTE_DISCONNECT, FALSE, BALLOONS_HIDDEN},
    {WTS_SESSION_LOCK, FALSE, BALLOONS_HIDDEN},
    {WTS_SESSION_UNLOCK, TRUE, BALLOONS_SHOWN},
};

static NOTIFYICONDATAW trayRecord;
static BOOL iconShown = FALSE;
// Written by the window thread only; the pipe readers read it without the lock.
static volatile BOOL balloonsVisible = TRUE;
// Guards trayRecord and iconShown.
static CRITICAL_SECTION presenterLock;

static DWORD InfoFlagsForSeverity(int severity)
{
    for (const SeverityPresentation& row : severityTable)
        if (row.severity == severity)
            return row.infoFlags;
    return (DWORD)severity;
}

static const SeverityPresentation* PresentationForInfoFlags(DWORD infoFlags)
{
    for (const SeverityPresentation& row : severityTable)
        if (row.infoFlags == infoFlags)
            return &row;
    return NULL;
}

static int IconResourceForInfoFlags(DWORD infoFlags)
{
    const SeverityPresentation* row = PresentationForInfoFlags(infoFlags);
    return row != NULL ? row->iconResource : otherIconResource;
}

static UINT BoxStyleForInfoFlags(DWORD infoFlags)
{
    const SeverityPresentation* row = PresentationForInfoFlags(infoFlags);
    return row != NULL ? row->boxStyle : otherBoxStyle;
}

// Copies at most room - 1 units and always terminates. A cut never keeps the
// first half of a surrogate pair without its second.
static void CopyCut(WCHAR* to, size_t room, const WCHAR* from)
{
    size_t length = 0;
    while (length + 1 < room && from[length] != L'\0')
        length++;
    if (from[length] != L'\0' && length > 0 && IS_HIGH_SURROGATE(from[length - 1]))
        length--;
    for (size_t i = 0; i < length; i++)
        to[i] = from[i];
    to[length] = L'\0';
}

template <size_t room>
static void CopyCut(WCHAR (&to)[room], const WCHAR* from)
{
    CopyCut(to, room, from);
}

static DWORD TextBytes(const WCHAR* text)
{
    return (DWORD)((lstrlenW(text) + 1) * sizeof(WCHAR));
}

DWORD ShellVersion(const WCHAR* libraryName)
{
    HMODULE library = LoadLibraryW(libraryName);
    if (library == NULL)
        return 0;
    DWORD version = 0;
    DLLGETVERSIONPROC getVersion = (DLLGETVERSIONPROC)(void*)GetProcAddress(library, "DllGetVersion");
    if (getVersion != NULL) {
        DLLVERSIONINFO info = {};
        info.cbSize = sizeof(info);
        if (SUCCEEDED(getVersion(&info)))
            version = info.dwMajorVersion * 65536u + info.dwMinorVersion;
    }
    FreeLibrary(library);
    return version;
}

DWORD TrayRecordSizeForShell(DWORD shellVersion)
{
    return shellVersion >= SHELL_VERSION_WITH_ITEM_GUID ? NOTIFYICONDATAW_V3_SIZE
                                                         : NOTIFYICONDATAW_V2_SIZE;
}

void InitTrayIcon(HWND window)
{
    InitializeCriticalSection(&presenterLock);
    ZeroMemory(&trayRecord, sizeof(trayRecord));
    trayRecord.cbSize = TrayRecordSizeForShell(ShellVersion(L"Shell32.dll"));
    trayRecord.uID = TRAY_ICON_ID;
    trayRecord.uCallbackMessage = TRAY_CALLBACK_MESSAGE;
    trayRecord.hWnd = window;
    trayRecord.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
}

// Caller holds the presenter lock.
static void FillTrayRecord(const WCHAR* title, const WCHAR* message, HICON icon, DWORD infoFlags)
{
    trayRecord.uID = TRAY_ICON_ID;
    trayRecord.uCallbackMessage = TRAY_CALLBACK_MESSAGE;
    CopyCut(trayRecord.szInfoTitle, title);
    CopyCut(trayRecord.szInfo, message);
    CopyCut(trayRecord.szTip, NOTIFIER_TITLE);
    trayRecord.hIcon = icon;
    trayRecord.dwInfoFlags = infoFlags;
    trayRecord.uFlags |= NIF_INFO;
    trayRecord.uTimeout = BALLOON_TIMEOUT_MS;
}

// Caller holds the presenter lock. An add that the shell refuses still
// counts: a later unlock or console connect adds the icon again.
static BOOL PresentTrayRecord(void)
{
    if (iconShown)
        return NotifyShell(NIM_MODIFY, &trayRecord);
    BOOL result = NotifyShell(NIM_ADD, &trayRecord);
    iconShown = TRUE;
    return result;
}

// The record lets go of an icon only if it still holds that one.
static void ReleaseNoticeIcon(HICON icon)
{
    if (!DestroySeverityIcon(icon))
        return;
    EnterCriticalSection(&presenterLock);
    if (trayRecord.hIcon == icon)
        trayRecord.hIcon = NULL;
    LeaveCriticalSection(&presenterLock);
}

BOOL ShowNotice(const WCHAR* title, const WCHAR* message, int severity)
{
    DWORD infoFlags = InfoFlagsForSeverity(severity);
    HICON icon = LoadSeverityIcon(IconResourceForInfoFlags(infoFlags));
    BOOL result = FALSE;
    BOOL shown = FALSE;

    EnterCriticalSection(&presenterLock);
    FillTrayRecord(title, message, icon, infoFlags);
    if (balloonsVisible) {
        result = PresentTrayRecord();
        shown = TRUE;
    }
    LeaveCriticalSection(&presenterLock);

    if (shown)
        PauseForBalloon(BALLOON_TIMEOUT_MS);
    ReleaseNoticeIcon(icon);
    return result;
}

void ReaddTrayIcon(void)
{
    EnterCriticalSection(&presenterLock);
    if (iconShown) {
        NotifyShell(NIM_DELETE, &trayRecord);
        trayRecord.hIcon = LoadSeverityIcon(IconResourceForInfoFlags(trayRecord.dwInfoFlags));
        NotifyShell(NIM_ADD, &trayRecord);
        if (DestroySeverityIcon(trayRecord.hIcon))
            trayRecord.hIcon = NULL;
    }
    LeaveCriticalSection(&presenterLock);
}

void ShowNoticePopup(WCHAR* title, WCHAR* message, DWORD infoFlags)
{
    int session = FindConsoleSession();
    if (session == NO_CONSOLE_SESSION)
        session = 1;
    DWORD response = 0;
    SendSessionMessageBox((DWORD)session, title, TextBytes(title), message, TextBytes(message),
                          MB_OK | BoxStyleForInfoFlags(infoFlags), POPUP_TIMEOUT_SECONDS,
                          &response, FALSE /* wait */);
}

static void HandleTrayIconClick(LPARAM mouseMessage)
{
    if (mouseMessage != WM_LBUTTONDOWN)
        return;
    EnterCriticalSection(&presenterLock);
    ShowNoticePopup(trayRecord.szInfoTitle, trayRecord.szInfo, trayRecord.dwInfoFlags);
    NotifyShell(NIM_DELETE, &trayRecord);
    iconShown = FALSE;
    LeaveCriticalSection(&presenterLock);
}

static void HandleSessionChange(WPARAM event)
{
    for (const SessionChangeAction& action : sessionChangeTable) {
        if (action.event != event)
            continue;
        if (action.readdIcon)
            ReaddTrayIcon();
        if (action.balloons != BALLOONS_UNCHANGED)
            balloonsVisible = action.balloons == BALLOONS_SHOWN;
        return;
    }
}

static void RemoveTrayIcon(void)
{
    EnterCriticalSection(&presenterLock);
    NotifyShell(NIM_DELETE, &trayRecord);
    LeaveCriticalSection(&presenterLock);
}

LRESULT CALLBACK NotifierWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        RemoveTrayIcon();
        UnregisterSessionNotifications(window);
        PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_COMMAND:
        return 0;
    case WM_WTSSESSION_CHANGE:
        HandleSessionChange(wParam);
        return 0;
    case TRAY_CALLBACK_MESSAGE:
        HandleTrayIconClick(lParam);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
