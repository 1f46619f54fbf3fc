#pragma once
// The whole notice path under Wine, for the notice path test and the demo:
// the management-server stand-in with its event mailbox, NotiTrayServer.exe,
// and the tray notifier it starts from the system directory. That tray
// notifier is the recording build installed as NotiTrayClient.exe.
#include <windows.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "tray_record.h"

struct NoticePath {
    std::wstring recordPath;
    ServerStatusRecord statusRecord;
    HANDLE server;
    HANDLE notifierServer;
    HANDLE trayNotifier;
    HWND window;
    // Probe notices shown before the path was known to be connected.
    size_t probes;
};

// Installs the tray notifier, starts the programs and waits until a notice
// gets through. Empty on success, else what failed.
std::string StartNoticePath(NoticePath& path);
// Stops the stand-in and ends whatever still runs; removes the installed copy.
void StopNoticePath(NoticePath& path);

// Posts the notice as the management server does, waiting up to 30 s while
// the mailbox is full; empty when posted, else what failed.
std::string PostIntoMailbox(const std::wstring& notice);

std::vector<ShownNotice> ShownAfterProbes(const NoticePath& path);
bool SendSessionChange(const NoticePath& path, WPARAM event);
