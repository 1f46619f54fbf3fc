#include "pipe_listener.h"

#include "notice.h"
#include "presenter.h"

#define PIPE_BUFFER_BYTES 4096
#define READ_BUFFER_BYTES 8192
#define READ_BUFFER_UNITS (READ_BUFFER_BYTES / sizeof(WCHAR))
#define PAUSE_BETWEEN_NOTICES_MS 20
// An instance that cannot be created (no valid pipe name, for instance) is
// tried again after this pause rather than in a busy loop.
#define PAUSE_BEFORE_NEW_INSTANCE_MS 100

static HWND notifierWindow = NULL;

void RecordNotifierWindow(HWND window)
{
    notifierWindow = window;
}

static void EndConnection(HANDLE instance)
{
    DisconnectNamedPipe(instance);
    CloseHandle(instance);
}

static HANDLE CreatePipeInstance(const WCHAR* pipeName)
{
    return CreateNamedPipeW(pipeName,
                            PIPE_ACCESS_DUPLEX,                                  /* dwOpenMode */
                            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, /* dwPipeMode */
                            PIPE_UNLIMITED_INSTANCES,                            /* nMaxInstances */
                            PIPE_BUFFER_BYTES,                                   /* nOutBufferSize */
                            PIPE_BUFFER_BYTES,                                   /* nInBufferSize */
                            0,                                                   /* nDefaultTimeOut */
                            NULL);                                               /* security */
}

static BOOL WaitForClient(HANDLE instance)
{
    return ConnectNamedPipe(instance, NULL) || GetLastError() == ERROR_PIPE_CONNECTED;
}

static void StartPipeReader(HANDLE instance)
{
    HANDLE reader = CreateThread(NULL, 0, PipeReader, instance, 0, NULL);
    if (reader == NULL) {
        EndConnection(instance);
        return;
    }
    CloseHandle(reader);
}

DWORD WINAPI PipeListener(LPVOID pipeName)
{
    for (;;) {
        HANDLE instance = CreatePipeInstance((const WCHAR*)pipeName);
        if (instance == INVALID_HANDLE_VALUE) {
            Sleep(PAUSE_BEFORE_NEW_INSTANCE_MS);
            continue;
        }
        if (WaitForClient(instance))
            StartPipeReader(instance);
        else
            CloseHandle(instance);
    }
}

// One message into notice; FALSE when the connection has ended. The notice
// ends at the first NUL unit, or after the last unit received.
static BOOL ReadNotice(HANDLE instance, WCHAR (&notice)[READ_BUFFER_UNITS + 1])
{
    DWORD got = 0;
    if (!ReadFile(instance, notice, READ_BUFFER_BYTES, &got, NULL) || got == 0)
        return FALSE;
    notice[got / sizeof(WCHAR)] = L'\0';
    return TRUE;
}

DWORD WINAPI PipeReader(LPVOID pipeInstance)
{
    HANDLE instance = (HANDLE)pipeInstance;
    WCHAR notice[READ_BUFFER_UNITS + 1];
    for (;;) {
        if (!ReadNotice(instance, notice)) {
            EndConnection(instance);
            return 1;
        }
        if (IsTerminateNotice(notice)) {
            EndConnection(instance);
            PostMessageW(notifierWindow, WM_DESTROY, 0, 0);
            return 0;
        }
        const WCHAR* message = NULL;
        int severity = ParseNoticeSeverity(notice, &message);
        ShowNotice(NOTIFIER_TITLE, message, severity);
        Sleep(PAUSE_BETWEEN_NOTICES_MS);
    }
}
