#pragma once
#include <windows.h>

// Builds "\"<exePath>\" -s[ <extraArgument>]" into a buffer of bufferUnits
// units. Returns FALSE, leaving an empty text, when the result with its NUL
// would not fit.
BOOL BuildConfiguredCommandLine(const WCHAR* exePath, const WCHAR* extraArgument,
                                WCHAR* buffer, size_t bufferUnits);

// Takes the configured command line without its opening quote, cut just
// before "\bin\ArvexaService.exe\"". Returns FALSE, leaving an empty text,
// when that marker is missing or the directory would not fit.
BOOL DeriveInstallDirectory(const WCHAR* configuredCommandLine,
                            WCHAR* directory, size_t directoryUnits);

// One tenth of the wait hint, kept between 1000 and 10000 ms.
DWORD WaitInterval(DWORD waitHint);

// Whether more than limit ms lie between two tick counts, across the 2^32 wrap.
BOOL MoreThanElapsed(DWORD startTick, DWORD nowTick, DWORD limit);
