#pragma once
// Serves the session pipe: any number of connections, one reader thread
// each, every event notice handed to the presenter.
#include <windows.h>

// The window that the readers end the program through.
void RecordNotifierWindow(HWND window);

// Thread routines. PipeListener takes the pipe name and never returns;
// PipeReader takes a connected instance and ends with 1 when the connection
// ends, 0 after the terminate notice.
DWORD WINAPI PipeListener(LPVOID pipeName);
DWORD WINAPI PipeReader(LPVOID pipeInstance);
