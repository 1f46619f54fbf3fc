// Stand-in for the management server: runs while the server status record
// says "Running" with run flag 1 and ends once it says "Stop" with flag 0.
//
// So that tests can see how it was started, it writes "Arvexa.launch.txt"
// beside itself (UTF-8): line 1 its command line, line 2 its working
// directory. A command line holding "--linger-ms=N" makes it stay N ms
// after it has seen "Stop", to show who waits for it.
//
// It also owns the event mailbox: it creates the mapping and its mutex before
// anything else, posts the start notice, and posts the terminate notice once
// the record says "Stop". post_notice.exe adds notices while it runs. Without
// a service host, a test publishes the record itself (tests/support).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "mailbox_writer.h"
#include "notice.h"

static const WCHAR SECTION_NAME[] = L"Global\\ArvexaFileMappingObject";
static const WCHAR MUTEX_NAME[] = L"Global\\Arvexa";
static const DWORD POLL_MS = 100;
static const DWORD OPEN_ATTEMPTS = 50;
// With no notifier server draining, a full mailbox must not keep the service
// host waiting for this process forever.
static const DWORD CONTROL_NOTICE_WAIT_MS = 2000;

enum ServerState { STATE_RUN, STATE_STOP, STATE_UNKNOWN };

static void WriteUtf8Line(FILE* file, const WCHAR* text)
{
    char buffer[4096];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof(buffer), NULL, NULL);
    if (length > 0)
        fprintf(file, "%s\n", buffer);
}

static void RecordLaunch(void)
{
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    WCHAR* slash = wcsrchr(path, L'\\');
    if (slash == NULL)
        return;
    wcscpy(slash + 1, L"Arvexa.launch.txt");
    FILE* file = _wfopen(path, L"wb");
    if (file == NULL)
        return;
    WCHAR directory[MAX_PATH] = {0};
    GetCurrentDirectoryW(MAX_PATH, directory);
    WriteUtf8Line(file, GetCommandLineW());
    WriteUtf8Line(file, directory);
    fclose(file);
}

static DWORD LingerAfterStop(void)
{
    const WCHAR* option = wcsstr(GetCommandLineW(), L"--linger-ms=");
    return option != NULL ? (DWORD)wcstoul(option + 12, NULL, 10) : 0;
}

// The record may be published a moment after this process starts.
static BOOL OpenRecord(HANDLE* section, HANDLE* mutex)
{
    for (DWORD attempt = 0; attempt < OPEN_ATTEMPTS; attempt++) {
        *section = OpenFileMappingW(FILE_MAP_READ, FALSE, SECTION_NAME);
        *mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, MUTEX_NAME);
        if (*section != NULL && *mutex != NULL)
            return TRUE;
        if (*section != NULL)
            CloseHandle(*section);
        if (*mutex != NULL)
            CloseHandle(*mutex);
        Sleep(POLL_MS);
    }
    return FALSE;
}

static ServerState ReadState(HANDLE section, HANDLE mutex)
{
    const BYTE* view = (const BYTE*)MapViewOfFile(section, FILE_MAP_READ, 0, 0, 132);
    if (view == NULL)
        return STATE_UNKNOWN;
    WCHAR text[64];
    DWORD runFlag;
    WaitForSingleObject(mutex, INFINITE);
    memcpy(text, view, sizeof(text));
    memcpy(&runFlag, view + 128, sizeof(runFlag));
    ReleaseMutex(mutex);
    UnmapViewOfFile(view);
    text[63] = L'\0';
    if (wcscmp(text, L"Stop") == 0 && runFlag == 0)
        return STATE_STOP;
    if (wcscmp(text, L"Running") == 0 && runFlag == 1)
        return STATE_RUN;
    return STATE_UNKNOWN;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    CreateMailbox();
    PostNotice(START_NOTICE, CONTROL_NOTICE_WAIT_MS);
    RecordLaunch();
    HANDLE section;
    HANDLE mutex;
    if (!OpenRecord(&section, &mutex))
        return 1;
    while (ReadState(section, mutex) != STATE_STOP)
        Sleep(POLL_MS);
    PostNotice(TERMINATE_NOTICE, CONTROL_NOTICE_WAIT_MS);
    Sleep(LingerAfterStop());
    CloseHandle(section);
    CloseHandle(mutex);
    return 0;
}
