#pragma once
// What the notifier server's tests share: a real event mailbox, the tray
// notifier's end of a real session pipe, and the tray notifier double.
#include <windows.h>

#include <string>
#include <vector>

// The event mailbox as the management server would create it.
struct TestMailbox {
    HANDLE mapping = NULL;
    HANDLE mutex = NULL;
    BYTE* block = nullptr;

    bool Create(DWORD bytes = 60004);
    void Close();
    void SetCount(LONG count);
    // Writes units into slot i as they are, without adding a NUL.
    void WriteSlotUnits(int slot, const std::wstring& units);
    // Writes text and its NUL into slot i.
    void WriteSlot(int slot, const std::wstring& text);
    LONG Count() const;
    bool AllZero() const;
};

// The tray notifier's end of a session pipe, created as the tray notifier
// creates it. Messages are read without blocking.
struct TestPipeServer {
    std::wstring name;
    HANDLE pipe = INVALID_HANDLE_VALUE;

    bool Create(const std::wstring& pipeName, DWORD inBufferBytes = 4096);
    // Once a client has opened it.
    void AcceptClient();
    void Close();
    // Every message waiting now, each as its raw bytes.
    std::vector<std::string> ReadWaitingMessages();
    // The client end has been closed.
    bool ClientClosed();
};

// A notice as it travels on the pipe: its units and a NUL.
std::string NoticeMessage(const std::wstring& text);

// One run of the tray notifier double, from its log.
struct DoubleRun {
    DWORD processId = 0;
    std::wstring commandLine, modulePath, desktop, showFlags, marker;
    int connections = 0;
    std::vector<std::pair<int, std::wstring>> messages;  // bytes received, text
    bool closed = false;
    bool terminated = false;
};

extern const wchar_t kDoubleLogDirectory[];
// Copies the double to the system directory as NotiTrayClient.exe (or as
// another name to another folder) and clears its logs.
bool InstallTrayDouble(const std::wstring& directory, const std::wstring& fileName);
void ClearDoubleLogs();
std::vector<DoubleRun> DoubleRuns();
// The run whose command line is exactly commandLine; false when none yet.
bool FindDoubleRun(const std::wstring& commandLine, DoubleRun* run);
std::wstring SystemDirectory();
// Starts the double at path with pipeName as its whole command line, as the
// notifier server does; returns the process handle or NULL.
HANDLE StartTrayDouble(const std::wstring& path, const std::wstring& pipeName);
