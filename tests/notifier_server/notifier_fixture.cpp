#include "notifier_fixture.h"

#include <string.h>

#include "test_support.h"

bool TestMailbox::Create(DWORD bytes)
{
    mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, bytes,
                                 L"Global\\EventFileMappingObject");
    mutex = CreateMutexW(NULL, FALSE, L"Global\\EventNotificationMutex");
    if (mapping == NULL || mutex == NULL)
        return false;
    block = (BYTE*)MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, bytes);
    return block != nullptr;
}

void TestMailbox::Close()
{
    if (block != nullptr)
        UnmapViewOfFile(block);
    if (mapping != NULL)
        CloseHandle(mapping);
    if (mutex != NULL)
        CloseHandle(mutex);
    block = nullptr;
    mapping = mutex = NULL;
}

void TestMailbox::SetCount(LONG count)
{
    memcpy(block, &count, 4);
}

void TestMailbox::WriteSlotUnits(int slot, const std::wstring& units)
{
    memcpy(block + 4 + 600 * slot, units.data(), units.size() * sizeof(wchar_t));
}

void TestMailbox::WriteSlot(int slot, const std::wstring& text)
{
    WriteSlotUnits(slot, text + L'\0');
}

LONG TestMailbox::Count() const
{
    LONG count;
    memcpy(&count, block, 4);
    return count;
}

bool TestMailbox::AllZero() const
{
    for (DWORD i = 0; i < 60004; i++)
        if (block[i] != 0)
            return false;
    return true;
}

bool TestPipeServer::Create(const std::wstring& pipeName, DWORD inBufferBytes)
{
    name = pipeName;
    pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX,
                            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                            PIPE_UNLIMITED_INSTANCES, 4096, inBufferBytes, 0, NULL);
    return pipe != INVALID_HANDLE_VALUE;
}

void TestPipeServer::AcceptClient()
{
    ConnectNamedPipe(pipe, NULL);
}

void TestPipeServer::Close()
{
    if (pipe != INVALID_HANDLE_VALUE)
        CloseHandle(pipe);
    pipe = INVALID_HANDLE_VALUE;
}

std::vector<std::string> TestPipeServer::ReadWaitingMessages()
{
    std::vector<std::string> messages;
    DWORD available = 0;
    while (PeekNamedPipe(pipe, NULL, 0, NULL, &available, NULL) && available > 0) {
        char buffer[8192];
        DWORD got = 0;
        if (!ReadFile(pipe, buffer, sizeof(buffer), &got, NULL))
            break;
        messages.push_back(std::string(buffer, got));
    }
    return messages;
}

bool TestPipeServer::ClientClosed()
{
    DWORD available = 0;
    return !PeekNamedPipe(pipe, NULL, 0, NULL, &available, NULL) && GetLastError() == ERROR_BROKEN_PIPE;
}

std::string NoticeMessage(const std::wstring& text)
{
    return std::string((const char*)text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

const wchar_t kDoubleLogDirectory[] = L"C:\\tray-double";

std::wstring SystemDirectory()
{
    wchar_t path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    return std::wstring(path, length);
}

bool InstallTrayDouble(const std::wstring& directory, const std::wstring& fileName)
{
    std::wstring from = TestBinDirectory() + L"\\tray_notifier_double.exe";
    return MakeDirectories(directory) &&
           CopyFileW(from.c_str(), (directory + L"\\" + fileName).c_str(), FALSE) != FALSE;
}

void ClearDoubleLogs()
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((std::wstring(kDoubleLogDirectory) + L"\\*.log").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do
        DeleteFileW((std::wstring(kDoubleLogDirectory) + L"\\" + found.cFileName).c_str());
    while (FindNextFileW(search, &found));
    FindClose(search);
}

static std::vector<std::wstring> SplitTabs(const std::wstring& line)
{
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find(L'\t', start)) != std::wstring::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields;
}

static void ApplyLogLine(const std::wstring& line, DoubleRun* run)
{
    std::vector<std::wstring> fields = SplitTabs(line);
    if (fields[0] == L"start" && fields.size() == 6) {
        run->commandLine = fields[1];
        run->modulePath = fields[2];
        run->desktop = fields[3];
        run->showFlags = fields[4];
        run->marker = fields[5];
    } else if (fields[0] == L"connected") {
        run->connections++;
    } else if (fields[0] == L"message" && fields.size() == 3) {
        run->messages.push_back({_wtoi(fields[1].c_str()), fields[2]});
    } else if (fields[0] == L"closed") {
        run->closed = true;
    } else if (fields[0] == L"terminate") {
        run->terminated = true;
    }
}

std::vector<DoubleRun> DoubleRuns()
{
    std::vector<DoubleRun> runs;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((std::wstring(kDoubleLogDirectory) + L"\\*.log").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return runs;
    do {
        DoubleRun run;
        run.processId = (DWORD)_wtoi(found.cFileName);
        std::wstring text = Utf8ToWide(ReadFileBytes(std::wstring(kDoubleLogDirectory) + L"\\" + found.cFileName));
        size_t start = 0;
        for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
            ApplyLogLine(text.substr(start, end - start), &run);
        runs.push_back(run);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return runs;
}

bool FindDoubleRun(const std::wstring& commandLine, DoubleRun* run)
{
    for (const DoubleRun& candidate : DoubleRuns())
        if (candidate.commandLine == commandLine) {
            *run = candidate;
            return true;
        }
    return false;
}

HANDLE StartTrayDouble(const std::wstring& path, const std::wstring& pipeName)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> commandLine(pipeName.begin(), pipeName.end());
    commandLine.push_back(L'\0');
    if (!CreateProcessW(path.c_str(), commandLine.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return NULL;
    CloseHandle(process.hThread);
    return process.hProcess;
}
