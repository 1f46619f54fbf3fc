#pragma once
#include <windows.h>

// Keeps a copy of the argument that followed "-s"; NULL when there was none.
void SaveServerArgument(const WCHAR* argument);

// Hands the calling thread to the control manager until the service stops.
void RunServiceDispatcher(void);
