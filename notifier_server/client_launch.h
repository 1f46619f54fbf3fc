#pragma once
// Starting the tray notifier in another session with the server's own token.
#include <windows.h>

static const DWORD SYSTEM_PATH_UNITS = 256;
// As a session id: whichever session is attached to the console when asked.
static const DWORD ACTIVE_CONSOLE_SESSION = 0xFFFFFFFF;
// The longest command line LaunchInSession passes on, NUL included.
static const DWORD PIPE_COMMAND_UNITS = 256;

// The system directory, "\" and fileName into path (256 units); FALSE when
// the whole path does not fit.
BOOL BuildSystemPath(const WCHAR* fileName, WCHAR* path);

// Starts programPath hidden on the interactive desktop of sessionId with
// commandLine as its whole command line; does not wait for it.
BOOL LaunchInSession(const WCHAR* programPath, const WCHAR* commandLine, DWORD sessionId);
