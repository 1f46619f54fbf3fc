// The whole NotiTrayServer.exe under Wine, with the management-server
// stand-in owning the mailbox, post_notice.exe writing to it, and the tray
// notifier double as NotiTrayClient.exe in the system directory.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <vector>

#include "notifier_fixture.h"
#include "test_support.h"

namespace {

const wchar_t kConsolePipe[] = L"\\\\.\\pipe\\arvexaPipe1";

std::vector<std::wstring> ExactProcessNames()
{
    std::vector<std::wstring> names;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        names.push_back(entry.szExeFile);
    CloseHandle(snapshot);
    return names;
}

bool ProcessHasModule(DWORD processId, const wchar_t* moduleName)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    MODULEENTRY32W entry;
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = Module32FirstW(snapshot, &entry); more && !found; more = Module32NextW(snapshot, &entry))
        found = _wcsicmp(entry.szModule, moduleName) == 0;
    CloseHandle(snapshot);
    return found;
}

void EndLeftovers()
{
    TerminateProcessesNamed(L"NotiTrayServer.exe");
    TerminateProcessesNamed(L"NotiTrayClient.exe");
    TerminateProcessesNamed(L"Arvexa.exe");
}

class NotifierProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        EndLeftovers();
        ASSERT_TRUE(InstallTrayDouble(SystemDirectory(), L"NotiTrayClient.exe"));
        ClearDoubleLogs();
        record = PublishServerStatusRecord();
        server = StartProgram(L"\"" + TestBinDirectory() + L"\\Arvexa.exe\"");
        ASSERT_NE(nullptr, server);
        ASSERT_TRUE(WaitUntil([] {
            HANDLE mailbox = OpenFileMappingW(FILE_MAP_READ, FALSE, L"Global\\EventFileMappingObject");
            if (mailbox != NULL)
                CloseHandle(mailbox);
            return mailbox != NULL;
        }, 10000));
        // Inherited by the notifier server, not by the tray notifier it starts
        // with the environment built for its token.
        SetEnvironmentVariableW(L"ARVEXA_DOUBLE_MARKER", L"inherited");
        notifier = StartProgram(L"\"" + TestBinDirectory() + L"\\NotiTrayServer.exe\"");
        SetEnvironmentVariableW(L"ARVEXA_DOUBLE_MARKER", NULL);
        ASSERT_NE(nullptr, notifier);
    }
    void TearDown() override
    {
        EndLeftovers();
        if (server != NULL)
            CloseHandle(server);
        if (notifier != NULL)
            CloseHandle(notifier);
        CloseServerStatusRecord(record);
    }

    static bool Connected(const std::wstring& pipeName, DoubleRun* run)
    {
        return WaitUntil([&] { return FindDoubleRun(pipeName, run) && run->connections == 1; }, 10000);
    }
    static bool Received(const std::wstring& pipeName, size_t count, DoubleRun* run)
    {
        return WaitUntil([&] { return FindDoubleRun(pipeName, run) && run->messages.size() >= count; }, 5000);
    }
    static void Post(const std::wstring& text)
    {
        ProgramRun run = RunProgram(L"\"" + TestBinDirectory() + L"\\post_notice.exe\" \"" + text + L"\"");
        ASSERT_TRUE(run.finished);
        ASSERT_EQ(0u, run.exitCode) << run.output;
    }
    static HWND ServerWindow() { return FindWindowW(L"NOTITRAYSERVER", NULL); }
    static void SessionChange(WPARAM change, DWORD session)
    {
        // Sent, not posted: the logon path has run when this returns.
        SendMessageW(ServerWindow(), WM_WTSSESSION_CHANGE, change, (LPARAM)session);
    }
    // The stand-in posts the terminate notice; the notifier server relays it
    // and ends with 0.
    void StopManagementServer()
    {
        WriteServerStatus(record, L"Stop", 0);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(notifier, 10000));
        DWORD exitCode = 1;
        GetExitCodeProcess(notifier, &exitCode);
        EXPECT_EQ(0u, exitCode);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(server, 10000));
    }

    ServerStatusRecord record = {};
    HANDLE server = NULL;
    HANDLE notifier = NULL;
};

TEST_F(NotifierProgram, LaunchesTheConsoleTrayNotifierRelaysNoticesAndEndsOnTerminate)
{
    DoubleRun run;
    ASSERT_TRUE(Connected(kConsolePipe, &run));
    EXPECT_EQ(0, _wcsicmp((SystemDirectory() + L"\\NotiTrayClient.exe").c_str(), run.modulePath.c_str()))
        << WideToUtf8(run.modulePath);
    EXPECT_EQ(L"WinSta0\\Default", run.desktop);
    EXPECT_EQ(std::to_wstring(STARTF_USESHOWWINDOW) + L"," + std::to_wstring(SW_HIDE), run.showFlags);
    EXPECT_EQ(L"-", run.marker);
    EXPECT_NE(nullptr, ServerWindow());
    DWORD notifierId = GetProcessId(notifier);
    EXPECT_TRUE(ProcessHasModule(notifierId, L"wtsapi32.dll"));

    Post(L"#2Disk 3 runs warm");
    Post(L"plain words");
    ASSERT_TRUE(Received(kConsolePipe, 2, &run));
    StopManagementServer();
    ASSERT_TRUE(FindDoubleRun(kConsolePipe, &run));
    // The start notice of the stand-in was dropped; the rest came in order.
    const std::vector<std::pair<int, std::wstring>> expected = {
        {38, L"#2Disk 3 runs warm"}, {24, L"plain words"}, {38, L"#1Terminate Arvexa"}};
    EXPECT_EQ(expected, run.messages);
    EXPECT_TRUE(run.terminated);
    EXPECT_TRUE(WaitUntil([] { return CountProcessesNamed(L"NotiTrayClient.exe") == 0; }, 5000));
    EXPECT_EQ(0, CountProcessesNamed(L"NotiTrayServer.exe"));
}

TEST_F(NotifierProgram, LogonLaunchesOnlyWhenTheConsoleHasNoTrayNotifierAndLogoffForgets)
{
    DoubleRun console;
    ASSERT_TRUE(Connected(kConsolePipe, &console));
    SessionChange(WTS_SESSION_LOGON, 5);  // the console's tray notifier runs
    TerminateProcessesNamed(L"NotiTrayClient.exe");
    SessionChange(WTS_SESSION_LOGON, 6);
    DoubleRun six;
    ASSERT_TRUE(Connected(L"\\\\.\\pipe\\arvexaPipe6", &six));
    DoubleRun five;
    EXPECT_FALSE(FindDoubleRun(L"\\\\.\\pipe\\arvexaPipe5", &five));
    EXPECT_EQ(2u, DoubleRuns().size());

    Post(L"#1to six");
    ASSERT_TRUE(Received(L"\\\\.\\pipe\\arvexaPipe6", 1, &six));
    EXPECT_EQ(L"#1to six", six.messages[0].second);
    SessionChange(WTS_SESSION_LOGOFF, 42);  // no such entry
    SessionChange(WTS_SESSION_LOGOFF, 6);
    EXPECT_TRUE(WaitUntil([&] { return FindDoubleRun(L"\\\\.\\pipe\\arvexaPipe6", &six) && six.closed; }, 5000));
    StopManagementServer();
    ASSERT_TRUE(FindDoubleRun(L"\\\\.\\pipe\\arvexaPipe6", &six));
    EXPECT_EQ(1u, six.messages.size());
}

TEST_F(NotifierProgram, OnlyTheExactNameCountsAsARunningTrayNotifier)
{
    DoubleRun console;
    ASSERT_TRUE(Connected(kConsolePipe, &console));
    TerminateProcessesNamed(L"NotiTrayClient.exe");
    const std::wstring decoyDirectory = L"C:\\tray-decoy";
    ASSERT_TRUE(InstallTrayDouble(decoyDirectory, L"notitrayclient.exe"));
    HANDLE decoy = StartTrayDouble(decoyDirectory + L"\\notitrayclient.exe", L"\\\\.\\pipe\\decoy");
    ASSERT_NE(nullptr, decoy);
    DoubleRun decoyRun;
    ASSERT_TRUE(WaitUntil([&] { return FindDoubleRun(L"\\\\.\\pipe\\decoy", &decoyRun); }, 5000));
    std::vector<std::wstring> names = ExactProcessNames();
    ASSERT_NE(names.end(), std::find(names.begin(), names.end(), L"notitrayclient.exe"));

    SessionChange(WTS_SESSION_LOGON, 8);
    DoubleRun eight;
    EXPECT_TRUE(Connected(L"\\\\.\\pipe\\arvexaPipe8", &eight));
    TerminateProcess(decoy, 0);
    CloseHandle(decoy);
    StopManagementServer();
}

TEST(NotifierResources, StringsIconsAndVersion)
{
    std::wstring path = TestBinDirectory() + L"\\NotiTrayServer.exe";
    HMODULE module = LoadLibraryExW(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module);
    WCHAR text[100];
    ASSERT_GT(LoadStringW(module, 103, text, 100), 0);
    EXPECT_EQ(std::wstring(L"NotiTrayServer"), text);
    ASSERT_GT(LoadStringW(module, 109, text, 100), 0);
    EXPECT_EQ(std::wstring(L"NOTITRAYSERVER"), text);
    EXPECT_NE(nullptr, FindResourceW(module, MAKEINTRESOURCEW(107), RT_GROUP_ICON));
    EXPECT_NE(nullptr, FindResourceW(module, MAKEINTRESOURCEW(108), RT_GROUP_ICON));
    FreeLibrary(module);

    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", (void**)&fixed, &length));
    EXPECT_EQ(MAKELONG(0, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(2, 1540), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    const struct { const wchar_t* key; const wchar_t* value; } strings[] = {
        {L"FileDescription", L"Arvexa Event Notifier Server"},
        {L"ProductName", L"Arvexa Event Notifier Server"},
        {L"FileVersion", L"1.0.1540.2"},
        {L"ProductVersion", L"1.0.1540.2"},
    };
    for (const auto& s : strings) {
        WCHAR* value = nullptr;
        std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + s.key;
        ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), (void**)&value, &length)) << WideToUtf8(s.key);
        EXPECT_EQ(std::wstring(s.value), value);
    }
}

}  // namespace
