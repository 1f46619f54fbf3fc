#pragma once
// What the test programs need to drive real binaries under Wine and watch
// them as a user or a peer would.
#include <windows.h>

#include <functional>
#include <string>

// The folder of the running test program, where every built binary lands.
std::wstring TestBinDirectory();

struct ProgramRun {
    bool finished;        // false: killed after the time limit
    DWORD exitCode;
    std::string output;   // standard output and error, CRLF turned into LF
};

// Starts commandLine with its output captured and waits for it to end.
ProgramRun RunProgram(const std::wstring& commandLine, DWORD timeoutMs = 60000);

// Starts commandLine without waiting; returns the process handle (or NULL).
HANDLE StartProgram(const std::wstring& commandLine);

// Polls condition every 50 ms until it holds or timeoutMs have passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// Processes whose executable file name matches, without regard to case.
int CountProcessesNamed(const wchar_t* exeName);
void TerminateProcessesNamed(const wchar_t* exeName);
// A handle to the first process of that name, or NULL.
HANDLE OpenProcessNamed(const wchar_t* exeName);

// Creates the folder and its parents.
bool MakeDirectories(const std::wstring& path);
bool CopyBinary(const wchar_t* fileName, const std::wstring& toDirectory);
// Whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);

std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

// The service host's server status record, published by a test so that the
// management-server stand-in (Arvexa.exe) runs without a service host: it
// runs while the record says "Running" with run flag 1 and ends on "Stop", 0.
struct ServerStatusRecord {
    HANDLE section;
    HANDLE mutex;
};
// Creates "Global\ArvexaFileMappingObject" and "Global\Arvexa" and writes
// "Running", 1. Both handles must stay open while the stand-in runs.
ServerStatusRecord PublishServerStatusRecord();
void WriteServerStatus(const ServerStatusRecord& record, const wchar_t* state, DWORD runFlag);
void CloseServerStatusRecord(ServerStatusRecord& record);
