#pragma once
// The notice grammar shared by the notifier server and the tray notifier:
// the two control notices and the severity rule. Compiled into both
// programs; neither links the other.
#include <windows.h>

#define START_NOTICE L"#1Start Arvexa"
#define TERMINATE_NOTICE L"#1Terminate Arvexa"

#define NOTICE_SEVERITY_INFORMATION 1
#define NOTICE_SEVERITY_WARNING 2
#define NOTICE_SEVERITY_ERROR 3

// Whole-text match ignoring the case of the ASCII letters only.
BOOL MatchesControlNotice(const WCHAR* notice, const WCHAR* controlNotice);
BOOL IsStartNotice(const WCHAR* notice);
BOOL IsTerminateNotice(const WCHAR* notice);

// "#" then optional white space, an optional sign and decimal digits: that
// number is the severity and the message starts two units in. Otherwise
// severity 1 and the whole notice.
int ParseNoticeSeverity(const WCHAR* notice, const WCHAR** message);
