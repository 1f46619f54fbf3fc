// NotiTrayServer: relays the management server's notices to the tray
// notifier of the console session. No window is ever shown.
#include <windows.h>

#include "mailbox.h"
#include "resource.h"
#include "session_tracking.h"

static const int RESOURCE_STRING_UNITS = 100;

static ATOM RegisterServerWindowClass(HINSTANCE instance, const WCHAR* className)
{
    WNDCLASSEXW windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = ServerWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SERVER_LARGE));
    windowClass.hCursor = LoadCursorW(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = className;
    windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SERVER_SMALL));
    return RegisterClassExW(&windowClass);
}

static HWND CreateServerWindow(HINSTANCE instance, const WCHAR* className, const WCHAR* title)
{
    return CreateWindowExW(0 /* dwExStyle */, className, title, WS_OVERLAPPEDWINDOW,
                           CW_USEDEFAULT /* x */, 0 /* y */, 200 /* nWidth */, 25 /* nHeight */,
                           NULL /* hWndParent */, NULL /* hMenu */, instance, NULL /* lpParam */);
}

static void StartDrainThread(void)
{
    HANDLE thread = CreateThread(NULL, 0, DrainMailbox, NULL, 0, NULL);
    if (thread != NULL)
        CloseHandle(thread);
}

static int RunMessageLoop(void)
{
    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return message.message == WM_QUIT ? (int)message.wParam : 0;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show)
{
    (void)previous;
    (void)commandLine;
    (void)show;
    WCHAR title[RESOURCE_STRING_UNITS];
    WCHAR className[RESOURCE_STRING_UNITS];
    LoadStringW(instance, IDS_SERVER_TITLE, title, RESOURCE_STRING_UNITS);
    LoadStringW(instance, IDS_SERVER_CLASS, className, RESOURCE_STRING_UNITS);
    RegisterServerWindowClass(instance, className);
    HWND window = CreateServerWindow(instance, className, title);
    if (window == NULL)
        return 0;
    RecordServerWindow(window);
    StartConsoleLaunch();
    StartSessionNotifications(window);
    // The window handle is recorded before the drain thread can post to it.
    StartDrainThread();
    return RunMessageLoop();
}
