#include "notice_path.h"

#include <algorithm>

#include "mailbox_writer.h"

static std::wstring BinPath(const std::wstring& name)
{
    return TestBinDirectory() + L"\\" + name;
}

static std::wstring SystemPath(const std::wstring& name)
{
    WCHAR directory[MAX_PATH];
    GetSystemDirectoryW(directory, MAX_PATH);
    return std::wstring(directory) + L"\\" + name;
}

std::string PostIntoMailbox(const std::wstring& notice)
{
    return PostFailureText(PostNotice(notice.c_str(), 30000));
}

static bool MailboxExists()
{
    HANDLE mailbox = OpenFileMappingW(FILE_MAP_READ, FALSE, L"Global\\EventFileMappingObject");
    if (mailbox != NULL)
        CloseHandle(mailbox);
    return mailbox != NULL;
}

static size_t ShownCount(const NoticePath& path)
{
    return ShownNotices(ReadTrayRecord(path.recordPath)).size();
}

// The notifier server connects a moment after it has started the tray
// notifier; notices broadcast before that reach nobody. Posts a probe until
// one arrives; every later notice then follows the probes.
static bool WaitForConnectedPath(NoticePath& path)
{
    for (int attempt = 0; attempt < 30 && ShownCount(path) == 0; attempt++) {
        if (!PostIntoMailbox(L"#1probe").empty())
            return false;
        WaitUntil([&] { return ShownCount(path) > 0; }, 1500);
    }
    if (ShownCount(path) == 0)
        return false;
    // Probes still on their way show within one balloon pause each.
    for (path.probes = ShownCount(path);; path.probes = ShownCount(path)) {
        Sleep(3000);
        if (ShownCount(path) == path.probes)
            return true;
    }
}

std::string StartNoticePath(NoticePath& path)
{
    path = NoticePath();
    path.recordPath = SystemPath(L"NotiTrayClient.exe.calls");
    DeleteFileW(path.recordPath.c_str());
    if (!CopyFileW(BinPath(L"NotiTrayRecorder.exe").c_str(), SystemPath(L"NotiTrayClient.exe").c_str(), FALSE))
        return "cannot install the tray notifier in the system directory";
    path.statusRecord = PublishServerStatusRecord();
    path.server = StartProgram(L"\"" + BinPath(L"Arvexa.exe") + L"\"");
    if (path.server == NULL || !WaitUntil(MailboxExists, 20000))
        return "the management-server stand-in made no event mailbox";
    path.notifierServer = StartProgram(L"\"" + BinPath(L"NotiTrayServer.exe") + L"\"");
    if (path.notifierServer == NULL)
        return "NotiTrayServer.exe did not start";
    if (!WaitUntil([&] { return (path.trayNotifier = OpenProcessNamed(L"NotiTrayClient.exe")) != NULL; }, 20000))
        return "the notifier server started no tray notifier";
    if (!WaitUntil([&] { return (path.window = FindNotifierWindow(GetProcessId(path.trayNotifier))) != NULL; }, 20000))
        return "the tray notifier made no window";
    if (!WaitForConnectedPath(path))
        return "no notice ever reached the tray notifier";
    return "";
}

void StopNoticePath(NoticePath& path)
{
    if (path.statusRecord.section != NULL)
        WriteServerStatus(path.statusRecord, L"Stop", 0);
    for (HANDLE process : {path.notifierServer, path.trayNotifier, path.server}) {
        if (process == NULL)
            continue;
        if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0)
            TerminateProcess(process, 1);
        CloseHandle(process);
    }
    path.notifierServer = path.trayNotifier = path.server = NULL;
    TerminateProcessesNamed(L"NotiTrayClient.exe");
    CloseServerStatusRecord(path.statusRecord);
    DeleteFileW(SystemPath(L"NotiTrayClient.exe").c_str());
}

std::vector<ShownNotice> ShownAfterProbes(const NoticePath& path)
{
    std::vector<ShownNotice> shown = ShownNotices(ReadTrayRecord(path.recordPath));
    return std::vector<ShownNotice>(shown.begin() + std::min(path.probes, shown.size()), shown.end());
}

bool SendSessionChange(const NoticePath& path, WPARAM event)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(path.window, WM_WTSSESSION_CHANGE, event, 0, SMTO_BLOCK, 10000, &result) != 0;
}
