#pragma once
// The session map: one pipe connection per session to the tray notifier
// serving that session's pipe, and the broadcast of notices over them.
#include <windows.h>

static const DWORD PIPE_NAME_UNITS = 256;

// "\\.\pipe\arvexaPipe<id>", the id as a signed decimal; name holds 256 units.
void FormatSessionPipeName(DWORD sessionId, WCHAR* name);

// The server lock guards the session map and the pending launch. Created
// once, before any thread that takes it starts; never destroyed.
void CreateServerLock(void);
void EnterServerLock(void);
void LeaveServerLock(void);

// Opens the pipe as its client in message read mode. Fails at once when no
// such pipe exists.
BOOL ConnectSessionPipe(const WCHAR* pipeName, HANDLE* pipe);
// Files the connection under sessionId; an existing entry stays, and the
// connection that cannot be stored is closed.
void AddSession(DWORD sessionId, HANDLE pipe);
// Writes the notice to every connection in ascending session order, one
// message each, NUL included.
void BroadcastNotice(const WCHAR* notice);
// Forgets the session's connection and closes it; always 1.
BOOL RemoveSession(DWORD sessionId);
