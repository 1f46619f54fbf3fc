#pragma once
// Which session the physical console shows, and the one-instance-per-console rule.
#include <windows.h>

#define NO_CONSOLE_SESSION (-1)

// The id of the first active session on the "console" window station, or -1.
int FindConsoleSession(void);

// TRUE when no other tray notifier runs for the console session. The mutex
// stays open for the life of the process: its existence marks this instance.
BOOL AcquireSingleInstance(void);
