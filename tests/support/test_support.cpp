#include "test_support.h"

#include <tlhelp32.h>

#include <vector>

std::wstring TestBinDirectory()
{
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    std::wstring full(path, length);
    return full.substr(0, full.find_last_of(L'\\'));
}

static std::string WithoutCarriageReturns(const std::string& text)
{
    std::string result;
    for (size_t i = 0; i < text.size(); i++)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            result += text[i];
    return result;
}

struct PipeDrain {
    HANDLE readEnd;
    std::string bytes;
};

static DWORD WINAPI DrainPipe(LPVOID parameter)
{
    PipeDrain* drain = (PipeDrain*)parameter;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(drain->readEnd, buffer, sizeof(buffer), &got, NULL) && got > 0)
        drain->bytes.append(buffer, got);
    return 0;
}

ProgramRun RunProgram(const std::wstring& commandLine, DWORD timeoutMs)
{
    ProgramRun run = {false, 0, ""};
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
    HANDLE readEnd = NULL;
    HANDLE writeEnd = NULL;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    std::vector<WCHAR> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');
    BOOL started = CreateProcessW(NULL, mutableLine.data(), NULL, NULL, TRUE, 0, NULL, NULL,
                                  &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return run;
    }
    PipeDrain drain = {readEnd, ""};
    HANDLE drainThread = CreateThread(NULL, 0, DrainPipe, &drain, 0, NULL);
    run.finished = WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0;
    if (!run.finished)
        TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(drainThread, 10000);
    CloseHandle(drainThread);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(readEnd);
    run.output = WithoutCarriageReturns(drain.bytes);
    return run;
}

HANDLE StartProgram(const std::wstring& commandLine)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::vector<WCHAR> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');
    if (!CreateProcessW(NULL, mutableLine.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return NULL;
    CloseHandle(process.hThread);
    return process.hProcess;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(50);
    }
}

// Calls visit for each process of that name until it returns false.
static void ForEachProcessNamed(const wchar_t* exeName, const std::function<bool(DWORD)>& visit)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (_wcsicmp(entry.szExeFile, exeName) == 0 && !visit(entry.th32ProcessID))
            break;
    CloseHandle(snapshot);
}

int CountProcessesNamed(const wchar_t* exeName)
{
    int count = 0;
    ForEachProcessNamed(exeName, [&](DWORD) { count++; return true; });
    return count;
}

void TerminateProcessesNamed(const wchar_t* exeName)
{
    ForEachProcessNamed(exeName, [](DWORD id) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (process != NULL) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
        return true;
    });
}

HANDLE OpenProcessNamed(const wchar_t* exeName)
{
    HANDLE found = NULL;
    ForEachProcessNamed(exeName, [&](DWORD id) {
        found = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, id);
        return found == NULL;
    });
    return found;
}

bool MakeDirectories(const std::wstring& path)
{
    for (size_t i = 3; i <= path.size(); i++)
        if (i == path.size() || path[i] == L'\\')
            CreateDirectoryW(path.substr(0, i).c_str(), NULL);
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CopyBinary(const wchar_t* fileName, const std::wstring& toDirectory)
{
    std::wstring from = TestBinDirectory() + L"\\" + fileName;
    std::wstring to = toDirectory + L"\\" + fileName;
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

std::string ReadFileBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, NULL) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

std::wstring Utf8ToWide(const std::string& text)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), NULL, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &wide[0], length);
    return wide;
}

std::string WideToUtf8(const std::wstring& text)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string narrow(length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &narrow[0], length, NULL, NULL);
    return narrow;
}

ServerStatusRecord PublishServerStatusRecord()
{
    ServerStatusRecord record;
    record.section = CreateFileMappingW(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 256,
                                        L"Global\\ArvexaFileMappingObject");
    record.mutex = CreateMutexW(NULL, FALSE, L"Global\\Arvexa");
    WriteServerStatus(record, L"Running", 1);
    return record;
}

void WriteServerStatus(const ServerStatusRecord& record, const wchar_t* state, DWORD runFlag)
{
    BYTE* view = (BYTE*)MapViewOfFile(record.section, FILE_MAP_WRITE, 0, 0, 256);
    if (view == NULL)
        return;
    WaitForSingleObject(record.mutex, INFINITE);
    ZeroMemory(view, 132);
    memcpy(view, state, wcslen(state) * sizeof(wchar_t));
    memcpy(view + 128, &runFlag, sizeof(runFlag));
    ReleaseMutex(record.mutex);
    UnmapViewOfFile(view);
}

void CloseServerStatusRecord(ServerStatusRecord& record)
{
    if (record.section != NULL)
        CloseHandle(record.section);
    if (record.mutex != NULL)
        CloseHandle(record.mutex);
    record.section = NULL;
    record.mutex = NULL;
}
