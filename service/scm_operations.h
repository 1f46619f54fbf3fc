#pragma once
#include <windows.h>

// The control-manager operations of the command line; each closes what it opens.
BOOL InstallArvexaService(const WCHAR* extraArgument);
BOOL StartArvexaService(void);
BOOL StopArvexaService(void);
BOOL RemoveArvexaService(void);
void PrintUsage(void);
