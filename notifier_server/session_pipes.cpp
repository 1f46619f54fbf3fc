#include "session_pipes.h"

#include <stdio.h>
#include <wchar.h>

#include <map>

#include "notice.h"

static const DWORD PIPE_BUSY_WAIT_MS = 5;

static CRITICAL_SECTION g_serverLock;
// Never destroyed: a launch thread may still file a connection while the
// process is exiting. The system closes the pipes at process end.
static std::map<DWORD, HANDLE>& g_sessionPipes = *new std::map<DWORD, HANDLE>;

void FormatSessionPipeName(DWORD sessionId, WCHAR* name)
{
    swprintf(name, PIPE_NAME_UNITS, L"\\\\.\\pipe\\arvexaPipe%d", (int)sessionId);
}

void CreateServerLock(void)
{
    InitializeCriticalSection(&g_serverLock);
}

void EnterServerLock(void)
{
    EnterCriticalSection(&g_serverLock);
}

void LeaveServerLock(void)
{
    LeaveCriticalSection(&g_serverLock);
}

// While every instance is taken, wait briefly for one; any other failure,
// above all a pipe not created yet, ends the attempt at once.
static HANDLE OpenSessionPipe(const WCHAR* pipeName)
{
    for (;;) {
        HANDLE pipe = CreateFileW(pipeName, GENERIC_READ | GENERIC_WRITE, 0 /* dwShareMode */,
                                  NULL, OPEN_EXISTING, 0 /* dwFlagsAndAttributes */, NULL);
        if (pipe != INVALID_HANDLE_VALUE)
            return pipe;
        if (GetLastError() != ERROR_PIPE_BUSY || !WaitNamedPipeW(pipeName, PIPE_BUSY_WAIT_MS))
            return INVALID_HANDLE_VALUE;
    }
}

BOOL ConnectSessionPipe(const WCHAR* pipeName, HANDLE* pipe)
{
    HANDLE opened = OpenSessionPipe(pipeName);
    if (opened == INVALID_HANDLE_VALUE)
        return FALSE;
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!SetNamedPipeHandleState(opened, &mode, NULL, NULL)) {
        CloseHandle(opened);
        return FALSE;
    }
    *pipe = opened;
    return TRUE;
}

void AddSession(DWORD sessionId, HANDLE pipe)
{
    EnterServerLock();
    if (!g_sessionPipes.insert(std::make_pair(sessionId, pipe)).second)
        CloseHandle(pipe);
    LeaveServerLock();
}

static BOOL WriteNoticeMessage(HANDLE pipe, const WCHAR* notice)
{
    DWORD bytes = (DWORD)((wcslen(notice) + 1) * sizeof(WCHAR));
    DWORD written = 0;
    return WriteFile(pipe, notice, bytes, &written, NULL);
}

// The tray notifier's end is gone, so this connection can never carry a
// notice again; keeping it would also block the session's next tray notifier.
static BOOL IsPeerGoneError(DWORD error)
{
    return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA || error == ERROR_INVALID_HANDLE ||
           error == ERROR_PIPE_NOT_CONNECTED;
}

// TRUE when the entry is done with after this write.
static BOOL DeliverNotice(HANDLE pipe, const WCHAR* notice, BOOL terminate)
{
    if (WriteNoticeMessage(pipe, notice))
        return terminate;
    return IsPeerGoneError(GetLastError());
}

void BroadcastNotice(const WCHAR* notice)
{
    BOOL terminate = IsTerminateNotice(notice);
    EnterServerLock();
    for (std::map<DWORD, HANDLE>::iterator entry = g_sessionPipes.begin(); entry != g_sessionPipes.end();) {
        if (DeliverNotice(entry->second, notice, terminate)) {
            CloseHandle(entry->second);
            entry = g_sessionPipes.erase(entry);
        } else {
            ++entry;
        }
    }
    LeaveServerLock();
}

BOOL RemoveSession(DWORD sessionId)
{
    EnterServerLock();
    std::map<DWORD, HANDLE>::iterator entry = g_sessionPipes.find(sessionId);
    if (entry != g_sessionPipes.end()) {
        CloseHandle(entry->second);
        g_sessionPipes.erase(entry);
    }
    LeaveServerLock();
    return TRUE;
}
