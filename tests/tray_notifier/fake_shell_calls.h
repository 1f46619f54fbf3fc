#pragma once
// An in-memory stand-in for the tray notifier's system-call module: it keeps
// every call with its whole arguments and answers as the test sets it up.
#include <windows.h>
#include <shellapi.h>
#include <wtsapi32.h>

#include <functional>
#include <string>
#include <vector>

struct ShellCall {
    DWORD message;
    NOTIFYICONDATAW record;
};

struct PopupCall {
    DWORD session;
    std::wstring title;
    DWORD titleBytes;
    std::wstring message;
    DWORD messageBytes;
    DWORD style;
    DWORD timeoutSeconds;
    BOOL wait;
};

struct FakeSession {
    DWORD id;
    WTS_CONNECTSTATE_CLASS state;
    std::wstring station;
};

struct FakeSystem {
    // Every call in order, as "shell ADD", "icon-load 129", "pause 2500" ...
    std::vector<std::string> trail;
    std::vector<ShellCall> shellCalls;
    std::vector<PopupCall> popups;
    BOOL shellResult = TRUE;
    BOOL enumerationFails = FALSE;
    std::vector<FakeSession> sessions;
    int listsHandedOut = 0;
    int listsFreed = 0;
    // Runs inside the balloon pause, in place of waiting.
    std::function<void()> duringPause;
};

extern FakeSystem fakeSystem;

// The handle the fake hands out for an icon resource.
HICON FakeIcon(int resourceId);
