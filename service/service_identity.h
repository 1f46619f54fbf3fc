#pragma once
#include <windows.h>

// The one service this program installs and runs.
#define ARVEXA_SERVICE_NAME L"Vantrel_Arvexa"
#define ARVEXA_DISPLAY_NAME L"Vantrel Arvexa"
#define ARVEXA_DESCRIPTION L"Vantrel Arvexa Server"

// Units of the configured command line buffer, the terminating NUL included.
#define COMMAND_LINE_UNITS 260
// Units of the buffer the service reads its configured command line into.
#define CONFIG_READ_UNITS 256
