#include "tray_record.h"

#include <commctrl.h>

#include <sstream>

#include "test_support.h"

static std::string Unescape(const std::string& text)
{
    std::string plain;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            plain += text[i];
            continue;
        }
        char next = text[++i];
        plain += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return plain;
}

static std::vector<std::string> SplitFields(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

std::vector<RecordedCall> ReadTrayRecord(const std::wstring& path)
{
    std::vector<RecordedCall> calls;
    std::istringstream lines(ReadFileBytes(path));
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields = SplitFields(line);
        if (fields.size() < 3)
            continue;
        RecordedCall call = {(DWORD)std::stoul(fields[0]), (DWORD)std::stoul(fields[1]), fields[2], {}};
        for (size_t i = 3; i < fields.size(); i++)
            call.fields.push_back(Utf8ToWide(Unescape(fields[i])));
        calls.push_back(call);
    }
    return calls;
}

std::vector<RecordedCall> CallsOfKind(const std::vector<RecordedCall>& calls, const std::string& kind)
{
    std::vector<RecordedCall> found;
    for (const RecordedCall& call : calls)
        if (call.kind == kind)
            found.push_back(call);
    return found;
}

std::vector<ShownNotice> ShownNotices(const std::vector<RecordedCall>& calls)
{
    std::vector<ShownNotice> shown;
    for (const RecordedCall& call : CallsOfKind(calls, "shell")) {
        if (call.fields.size() < 12 || (call.fields[0] != L"ADD" && call.fields[0] != L"MODIFY"))
            continue;
        shown.push_back({call.fields[0], (DWORD)std::stoul(call.fields[6]), std::stoi(call.fields[5]),
                         call.fields[10]});
    }
    return shown;
}

std::vector<int> LoadedIcons(const std::vector<RecordedCall>& calls)
{
    std::vector<int> icons;
    for (const RecordedCall& call : CallsOfKind(calls, "icon-load"))
        icons.push_back(std::stoi(call.fields.at(0)));
    return icons;
}

HANDLE StartWithCommandLine(const std::wstring& program, const std::wstring& commandLine)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::vector<WCHAR> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    if (!CreateProcessW(program.c_str(), line.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return NULL;
    CloseHandle(process.hThread);
    return process.hProcess;
}

struct WindowSearch {
    DWORD processId;
    HWND found;
};

static BOOL CALLBACK MatchNotifierWindow(HWND window, LPARAM parameter)
{
    WindowSearch* search = (WindowSearch*)parameter;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    WCHAR className[64] = L"";
    GetClassNameW(window, className, 64);
    if (owner == search->processId && wcscmp(className, L"NOTITRAY") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindNotifierWindow(DWORD processId)
{
    WindowSearch search = {processId, NULL};
    EnumWindows(MatchNotifierWindow, (LPARAM)&search);
    return search.found;
}

static BOOL CALLBACK MatchBalloon(HWND window, LPARAM parameter)
{
    WCHAR className[64] = L"";
    GetClassNameW(window, className, 64);
    if (wcscmp(className, TOOLTIPS_CLASSW) == 0 && IsWindowVisible(window) &&
        (GetWindowLongW(window, GWL_STYLE) & TTS_BALLOON)) {
        *(bool*)parameter = true;
        return FALSE;
    }
    return TRUE;
}

bool BalloonVisible()
{
    bool visible = false;
    EnumWindows(MatchBalloon, (LPARAM)&visible);
    return visible;
}

HANDLE ConnectToSessionPipe(const std::wstring& pipeName, DWORD timeoutMs)
{
    HANDLE pipe = INVALID_HANDLE_VALUE;
    WaitUntil([&] {
        pipe = CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        if (pipe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PIPE_BUSY)
            WaitNamedPipeW(pipeName.c_str(), 50);
        return pipe != INVALID_HANDLE_VALUE;
    }, timeoutMs);
    if (pipe == INVALID_HANDLE_VALUE)
        return pipe;
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!SetNamedPipeHandleState(pipe, &mode, NULL, NULL)) {
        CloseHandle(pipe);
        return INVALID_HANDLE_VALUE;
    }
    return pipe;
}

bool SendBytes(HANDLE pipe, const std::string& bytes)
{
    DWORD written = 0;
    return WriteFile(pipe, bytes.data(), (DWORD)bytes.size(), &written, NULL) && written == bytes.size();
}

bool SendNotice(HANDLE pipe, const std::wstring& notice)
{
    return SendBytes(pipe, std::string((const char*)notice.c_str(), (notice.size() + 1) * sizeof(WCHAR)));
}
