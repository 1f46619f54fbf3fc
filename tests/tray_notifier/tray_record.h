#pragma once
// Reading what the recording build of the tray notifier wrote, and driving a
// tray notifier as its notifier server would.
//
// Record lines, UTF-8, fields separated by tabs (texts escaped \\ \t \n \r):
//   pid tick shell ADD|MODIFY|DELETE cbSize uID uFlags uCallbackMessage iconId
//                  dwInfoFlags uTimeout szTip szInfoTitle szInfo result
//   pid tick popup session style timeout wait titleBytes messageBytes title message
//   pid tick sessions result count
//   pid tick icon-load resourceId loaded
//   pid tick icon-destroy resourceId result
//   pid tick pause milliseconds
#include <windows.h>

#include <string>
#include <vector>

struct RecordedCall {
    DWORD pid;
    DWORD tick;
    std::string kind;
    std::vector<std::wstring> fields;
};

// One shown balloon: a shell ADD or MODIFY.
struct ShownNotice {
    std::wstring operation;
    DWORD infoFlags;
    int icon;
    std::wstring message;
};

std::vector<RecordedCall> ReadTrayRecord(const std::wstring& path);
std::vector<ShownNotice> ShownNotices(const std::vector<RecordedCall>& calls);
// The resource ids of the severity icons loaded, in order.
std::vector<int> LoadedIcons(const std::vector<RecordedCall>& calls);
std::vector<RecordedCall> CallsOfKind(const std::vector<RecordedCall>& calls, const std::string& kind);

// Starts program with commandLine as its whole command line, as the notifier
// server does; returns the process handle or NULL.
HANDLE StartWithCommandLine(const std::wstring& program, const std::wstring& commandLine);

// The hidden notifier window of that process, or NULL.
HWND FindNotifierWindow(DWORD processId);
// A visible balloon anywhere on the desktop: a tooltip with the balloon style.
bool BalloonVisible();

// Opens the session pipe as the notifier server does (message reads);
// INVALID_HANDLE_VALUE when it is not there within timeoutMs.
HANDLE ConnectToSessionPipe(const std::wstring& pipeName, DWORD timeoutMs = 10000);
// One notice as one message: its units and a NUL unit.
bool SendNotice(HANDLE pipe, const std::wstring& notice);
bool SendBytes(HANDLE pipe, const std::string& bytes);
