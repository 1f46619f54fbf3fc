// The tray notifier: started by the notifier server in the console session
// with the session pipe name as its whole command line.
#include <windows.h>

#include "console_session.h"
#include "pipe_listener.h"
#include "presenter.h"
#include "resource.h"
#include "session_notifications.h"

#define RESOURCE_TEXT_UNITS 100

static ATOM RegisterNotifierClass(HINSTANCE instance, const WCHAR* className)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = NotifierWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_NOTIFIER_LARGE));
    windowClass.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = className;
    windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_NOTIFIER_SMALL));
    return RegisterClassExW(&windowClass);
}

// Never shown: it only carries the tray icon's messages and session changes.
static HWND CreateNotifierWindow(HINSTANCE instance, const WCHAR* className, const WCHAR* title)
{
    return CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW,
                           CW_USEDEFAULT, 0, 200, 25,
                           NULL /* parent */, NULL /* menu */, instance, NULL /* creation data */);
}

static void StartPipeListener(WCHAR* pipeName)
{
    HANDLE listener = CreateThread(NULL, 0, PipeListener, pipeName, 0, NULL);
    if (listener != NULL)
        CloseHandle(listener);
}

static int RunMessageLoop(void)
{
    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return (int)message.wParam;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    if (!AcquireSingleInstance())
        return 2;
    WCHAR* pipeName = GetCommandLineW();

    WCHAR title[RESOURCE_TEXT_UNITS];
    WCHAR className[RESOURCE_TEXT_UNITS];
    LoadStringW(instance, IDS_NOTIFIER_TITLE, title, RESOURCE_TEXT_UNITS);
    LoadStringW(instance, IDS_NOTIFIER_CLASS, className, RESOURCE_TEXT_UNITS);
    RegisterNotifierClass(instance, className);
    HWND window = CreateNotifierWindow(instance, className, title);
    if (window == NULL)
        return 0;

    RecordNotifierWindow(window);
    InitTrayIcon(window);
    RegisterSessionNotifications(window);
    StartPipeListener(pipeName);
    return RunMessageLoop();
}
