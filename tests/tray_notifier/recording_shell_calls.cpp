// The tray notifier's system-call module for the recording build: every call
// goes to the real system as in the shipping program, and is also written as
// one line to "<program path>.calls", so that a test sees what the program
// asked of the shell and the session service. Line format: tray_record.h.
#include "shell_calls.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

std::mutex recordGuard;
// Handles of the icons loaded so far, with their resource ids.
std::vector<std::pair<HICON, int>> loadedIcons;

std::wstring RecordPath()
{
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    return std::wstring(path, length) + L".calls";
}

std::string Utf8(const std::wstring& text)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string narrow(length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &narrow[0], length, NULL, NULL);
    return narrow;
}

std::string Text(const WCHAR* text)
{
    std::string escaped;
    for (char c : Utf8(text)) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '\t': escaped += "\\t"; break;
        case '\n': escaped += "\\n"; break;
        case '\r': escaped += "\\r"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string Number(unsigned long long value)
{
    return std::to_string(value);
}

// Caller holds recordGuard.
int IconId(HICON icon)
{
    if (icon == NULL)
        return 0;
    for (const auto& loaded : loadedIcons)
        if (loaded.first == icon)
            return loaded.second;
    return -1;
}

// Caller holds recordGuard.
void WriteRecord(const std::string& kind, const std::vector<std::string>& fields)
{
    std::string line = Number(GetCurrentProcessId()) + "\t" + Number(GetTickCount()) + "\t" + kind;
    for (const std::string& field : fields)
        line += "\t" + field;
    line += "\n";
    HANDLE file = CreateFileW(RecordPath().c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line.data(), (DWORD)line.size(), &written, NULL);
    CloseHandle(file);
}

const char* ShellOperation(DWORD message)
{
    switch (message) {
    case NIM_ADD: return "ADD";
    case NIM_MODIFY: return "MODIFY";
    case NIM_DELETE: return "DELETE";
    default: return "OTHER";
    }
}

}  // namespace

BOOL NotifyShell(DWORD message, NOTIFYICONDATAW* record)
{
    BOOL result = Shell_NotifyIconW(message, record);
    std::lock_guard<std::mutex> hold(recordGuard);
    WriteRecord("shell", {ShellOperation(message), Number(record->cbSize),
                          Number(record->uID), Number(record->uFlags),
                          Number(record->uCallbackMessage), std::to_string(IconId(record->hIcon)),
                          Number(record->dwInfoFlags), Number(record->uTimeout),
                          Text(record->szTip), Text(record->szInfoTitle), Text(record->szInfo),
                          Number(result)});
    return result;
}

BOOL SendSessionMessageBox(DWORD session, WCHAR* title, DWORD titleBytes, WCHAR* message,
                           DWORD messageBytes, DWORD style, DWORD timeoutSeconds, DWORD* response,
                           BOOL wait)
{
    BOOL result = WTSSendMessageW(WTS_CURRENT_SERVER_HANDLE, session, title, titleBytes, message,
                                  messageBytes, style, timeoutSeconds, response, wait);
    std::lock_guard<std::mutex> hold(recordGuard);
    WriteRecord("popup", {Number(session), Number(style), Number(timeoutSeconds), Number(wait),
                          Number(titleBytes), Number(messageBytes), Text(title), Text(message)});
    return result;
}

BOOL EnumerateSessions(WTS_SESSION_INFOW** sessions, DWORD* count)
{
    BOOL result = WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, sessions, count);
    std::lock_guard<std::mutex> hold(recordGuard);
    WriteRecord("sessions", {Number(result), Number(result ? *count : 0)});
    return result;
}

void FreeSessionList(WTS_SESSION_INFOW* sessions)
{
    WTSFreeMemory(sessions);
}

HICON LoadSeverityIcon(int resourceId)
{
    HICON icon = LoadIconW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(resourceId));
    std::lock_guard<std::mutex> hold(recordGuard);
    // A handle can come back for another icon once the first is destroyed.
    for (auto& loaded : loadedIcons)
        if (loaded.first == icon)
            loaded.second = resourceId;
    if (icon != NULL && IconId(icon) != resourceId)
        loadedIcons.emplace_back(icon, resourceId);
    WriteRecord("icon-load", {std::to_string(resourceId), Number(icon != NULL)});
    return icon;
}

BOOL DestroySeverityIcon(HICON icon)
{
    BOOL result = DestroyIcon(icon);
    std::lock_guard<std::mutex> hold(recordGuard);
    WriteRecord("icon-destroy", {std::to_string(IconId(icon)), Number(result)});
    return result;
}

void PauseForBalloon(DWORD milliseconds)
{
    {
        std::lock_guard<std::mutex> hold(recordGuard);
        WriteRecord("pause", {Number(milliseconds)});
    }
    Sleep(milliseconds);
}
