// Plays the tray notifier for the notifier server's tests: copied into the
// system directory as NotiTrayClient.exe, it serves the pipe named by its
// whole command line, as the real one does, and writes what it saw to
// C:\tray-double\<process id>.log, one line per event, UTF-8:
//   start <tab> command line <tab> module path <tab> desktop <tab> flags,show <tab> marker
//   connected
//   message <tab> bytes received <tab> text up to the NUL
//   closed                 (the client went away)
//   terminate              (then it ends with 0)
// The marker is the variable ARVEXA_DOUBLE_MARKER of its environment, or "-".
// It ends by itself after a minute, so that a failed test leaves nothing.
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include <string>

static CRITICAL_SECTION g_logLock;
static HANDLE g_log = INVALID_HANDLE_VALUE;

static void LogLine(const std::wstring& line)
{
    std::wstring withEnd = line + L"\n";
    char buffer[4096];
    int length = WideCharToMultiByte(CP_UTF8, 0, withEnd.c_str(), (int)withEnd.size(), buffer,
                                     sizeof(buffer), NULL, NULL);
    EnterCriticalSection(&g_logLock);
    DWORD written;
    WriteFile(g_log, buffer, (DWORD)length, &written, NULL);
    LeaveCriticalSection(&g_logLock);
}

static bool OpenLog()
{
    CreateDirectoryW(L"C:\\tray-double", NULL);
    wchar_t path[MAX_PATH];
    swprintf(path, MAX_PATH, L"C:\\tray-double\\%lu.log", GetCurrentProcessId());
    g_log = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        NULL, CREATE_ALWAYS, 0, NULL);
    return g_log != INVALID_HANDLE_VALUE;
}

static void LogStart()
{
    STARTUPINFOW startup;
    GetStartupInfoW(&startup);
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(NULL, module, MAX_PATH);
    wchar_t marker[256];
    if (GetEnvironmentVariableW(L"ARVEXA_DOUBLE_MARKER", marker, 256) == 0)
        wcscpy(marker, L"-");
    wchar_t show[64];
    swprintf(show, 64, L"%lu,%u", startup.dwFlags, (unsigned)startup.wShowWindow);
    LogLine(std::wstring(L"start\t") + GetCommandLineW() + L"\t" + module + L"\t" +
            (startup.lpDesktop != NULL ? startup.lpDesktop : L"-") + L"\t" + show + L"\t" + marker);
}

static DWORD WINAPI ReadConnection(LPVOID parameter)
{
    HANDLE pipe = (HANDLE)parameter;
    BYTE buffer[8192];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &got, NULL) && got > 0) {
        std::wstring text((const wchar_t*)buffer, got / sizeof(wchar_t));
        text = text.substr(0, text.find(L'\0'));
        LogLine(L"message\t" + std::to_wstring(got) + L"\t" + text);
        if (_wcsicmp(text.c_str(), L"#1Terminate Arvexa") == 0) {
            LogLine(L"terminate");
            ExitProcess(0);
        }
    }
    LogLine(L"closed");
    DisconnectNamedPipe(pipe);
    CloseHandle(pipe);
    return 0;
}

static DWORD WINAPI ServePipe(LPVOID parameter)
{
    const wchar_t* name = (const wchar_t*)parameter;
    for (;;) {
        HANDLE pipe = CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX,
                                       PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                       PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, NULL);
        if (pipe == INVALID_HANDLE_VALUE) {
            LogLine(L"no pipe");
            return 1;
        }
        if (ConnectNamedPipe(pipe, NULL) || GetLastError() == ERROR_PIPE_CONNECTED) {
            LogLine(L"connected");
            CloseHandle(CreateThread(NULL, 0, ReadConnection, pipe, 0, NULL));
        } else {
            CloseHandle(pipe);
        }
    }
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    InitializeCriticalSection(&g_logLock);
    if (!OpenLog())
        return 3;
    LogStart();
    HANDLE server = CreateThread(NULL, 0, ServePipe, GetCommandLineW(), 0, NULL);
    WaitForSingleObject(server, 60000);
    LogLine(L"timeout");
    return 1;
}
