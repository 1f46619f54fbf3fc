// The tray notifier as a program under Wine: its single-instance rule, its
// session pipe served to real clients, and its window's messages. Notices
// are watched through the recording build (NotiTrayRecorder.exe, the same
// program whose system calls also go to a record file).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_support.h"
#include "tray_record.h"

namespace {

const std::wstring kRecorder = L"NotiTrayRecorder.exe";
const std::wstring kShipping = L"NotiTrayClient.exe";
// Wine lists no sessions, so the instance mutex carries the id -1.
const wchar_t kInstanceMutex[] = L"Local\\NotiTrayClientW-1";

std::wstring BinPath(const std::wstring& name)
{
    return TestBinDirectory() + L"\\" + name;
}

std::wstring PipeName(const std::string& testName)
{
    return L"\\\\.\\pipe\\arvexaTrayTest" + Utf8ToWide(testName);
}

DWORD ExitCodeAfter(HANDLE process, DWORD timeoutMs)
{
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process, &code);
    return code;
}

class TrayListener : public ::testing::Test {
protected:
    void SetUp() override
    {
        recordPath = BinPath(kRecorder) + L".calls";
        DeleteFileW(recordPath.c_str());
        pipeName = PipeName(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    void TearDown() override
    {
        for (HANDLE client : clients)
            CloseHandle(client);
        if (recorder != NULL) {
            TerminateProcess(recorder, 1);
            WaitForSingleObject(recorder, 10000);
            CloseHandle(recorder);
        }
    }

    // Starts the recording build on commandLine and waits for its window.
    void StartRecorder(const std::wstring& commandLine)
    {
        recorder = StartWithCommandLine(BinPath(kRecorder), commandLine);
        ASSERT_NE((HANDLE)NULL, recorder);
        DWORD id = GetProcessId(recorder);
        ASSERT_TRUE(WaitUntil([&] { return (window = FindNotifierWindow(id)) != NULL; }, 20000));
    }

    HANDLE Connect()
    {
        HANDLE client = ConnectToSessionPipe(pipeName);
        EXPECT_NE(INVALID_HANDLE_VALUE, client);
        if (client != INVALID_HANDLE_VALUE)
            clients.push_back(client);
        return client;
    }

    std::vector<ShownNotice> Shown() { return ShownNotices(ReadTrayRecord(recordPath)); }

    bool WaitForShown(size_t count, DWORD timeoutMs = 15000)
    {
        return WaitUntil([&] { return Shown().size() >= count; }, timeoutMs);
    }

    std::wstring recordPath;
    std::wstring pipeName;
    HANDLE recorder = NULL;
    HWND window = NULL;
    std::vector<HANDLE> clients;
};

// Runs the shipping program on its own pipe name while another instance is
// marked; it must end with 2 without its pipe ever accepting a client or its
// window ever appearing.
void ExpectRefusedSecondStart(const std::wstring& secondPipe)
{
    HANDLE second = StartWithCommandLine(BinPath(kShipping), secondPipe);
    ASSERT_NE((HANDLE)NULL, second);
    DWORD id = GetProcessId(second);
    bool sawPipe = false;
    bool sawWindow = false;
    DWORD start = GetTickCount();
    while (WaitForSingleObject(second, 5) == WAIT_TIMEOUT && GetTickCount() - start < 20000) {
        sawPipe = sawPipe || WaitNamedPipeW(secondPipe.c_str(), 1) || GetLastError() != ERROR_FILE_NOT_FOUND;
        sawWindow = sawWindow || FindNotifierWindow(id) != NULL;
    }
    EXPECT_EQ(2u, ExitCodeAfter(second, 0));
    EXPECT_FALSE(sawPipe);
    EXPECT_FALSE(sawWindow);
    TerminateProcess(second, 1);
    CloseHandle(second);
}

TEST_F(TrayListener, SecondInstanceInTheSessionEndsWithTwo)
{
    HANDLE marker = CreateMutexW(NULL, FALSE, kInstanceMutex);
    ASSERT_NE((HANDLE)NULL, marker);
    ExpectRefusedSecondStart(pipeName + L"Second");
    CloseHandle(marker);

    StartRecorder(pipeName);
    ExpectRefusedSecondStart(pipeName + L"Second");
    EXPECT_EQ(STILL_ACTIVE, ExitCodeAfter(recorder, 0));
    HANDLE client = Connect();
    ASSERT_TRUE(SendNotice(client, L"#1still served"));
    ASSERT_TRUE(WaitForShown(1));
    EXPECT_EQ(L"still served", Shown()[0].message);
}

// Each connection has its own reader: a notice on a second connection is
// shown while the first connection's reader still waits out its balloon.
TEST_F(TrayListener, TwoClientsAreReadAtTheSameTime)
{
    StartRecorder(pipeName);
    HANDLE first = Connect();
    HANDLE second = Connect();
    ASSERT_TRUE(SendNotice(first, L"#2first one"));
    ASSERT_TRUE(SendNotice(first, L"#2first two"));
    ASSERT_TRUE(WaitForShown(1));
    ASSERT_TRUE(SendNotice(second, L"#3second one"));
    ASSERT_TRUE(WaitForShown(3));

    std::vector<ShownNotice> shown = Shown();
    ASSERT_EQ(3u, shown.size());
    EXPECT_EQ(L"first one", shown[0].message);
    EXPECT_EQ(L"ADD", shown[0].operation);
    EXPECT_EQ(L"second one", shown[1].message);
    EXPECT_EQ(3u, shown[1].infoFlags);
    EXPECT_EQ(L"first two", shown[2].message);
}

TEST_F(TrayListener, EndedConnectionsLeaveTheListenerServing)
{
    StartRecorder(pipeName);
    HANDLE closing = ConnectToSessionPipe(pipeName);
    ASSERT_TRUE(SendNotice(closing, L"#1before closing"));
    CloseHandle(closing);
    CloseHandle(ConnectToSessionPipe(pipeName));

    // A message beyond the reader's 8192 bytes ends that connection only.
    HANDLE oversize = Connect();
    SendBytes(oversize, std::string(9000, 'x'));
    EXPECT_TRUE(WaitUntil([&] { return !PeekNamedPipe(oversize, NULL, 0, NULL, NULL, NULL); }, 10000))
        << "the reader closed that connection";

    HANDLE later = Connect();
    ASSERT_TRUE(SendNotice(later, L"#1after closing"));
    ASSERT_TRUE(WaitForShown(2));
    std::vector<ShownNotice> shown = Shown();
    ASSERT_EQ(2u, shown.size());
    EXPECT_EQ(L"before closing", shown[0].message);
    EXPECT_EQ(L"after closing", shown[1].message);
}

struct RawCase {
    const char* name;
    std::string bytes;
    DWORD infoFlags;
    std::wstring message;
};

std::string Units(const std::wstring& text)
{
    return std::string((const char*)text.data(), text.size() * sizeof(WCHAR));
}

// Each case on a connection of its own, all at once.
TEST_F(TrayListener, MessagesAreCutAtTheirFirstNulAndNeverReadBeyond)
{
    const RawCase cases[] = {
        {"just the NUL unit", Units(std::wstring(1, L'\0')), 17, L""},
        {"no NUL unit", Units(L"#3no terminator"), 3, L"no terminator"},
        {"text after the NUL", Units(std::wstring(L"#2cut\0rest", 10)), 2, L"cut"},
        {"odd byte count", Units(L"#2odd") + "Z", 2, L"odd"},
        {"terminate with a blank", Units(std::wstring(L"#1Terminate Arvexa \0", 20)), 17,
         L"Terminate Arvexa "},
    };
    StartRecorder(pipeName);
    for (const RawCase& c : cases) {
        HANDLE client = Connect();
        ASSERT_TRUE(SendBytes(client, c.bytes)) << c.name;
    }
    ASSERT_TRUE(WaitForShown(std::size(cases)));
    std::vector<ShownNotice> shown = Shown();
    ASSERT_EQ(std::size(cases), shown.size());
    for (const RawCase& c : cases) {
        auto match = std::find_if(shown.begin(), shown.end(), [&](const ShownNotice& notice) {
            return notice.message == c.message && notice.infoFlags == c.infoFlags;
        });
        EXPECT_NE(shown.end(), match) << c.name;
    }
    EXPECT_EQ(STILL_ACTIVE, ExitCodeAfter(recorder, 0));
}

TEST_F(TrayListener, TerminateNoticeInAnyCaseEndsTheProgramWithZero)
{
    for (const wchar_t* terminate : {L"#1Terminate Arvexa", L"#1TERMINATE ARVEXA", L"#1tErMiNaTe aRvExA"}) {
        SCOPED_TRACE(WideToUtf8(terminate));
        DeleteFileW(recordPath.c_str());
        StartRecorder(pipeName);
        HANDLE idle = Connect();
        HANDLE sender = Connect();
        ASSERT_TRUE(SendNotice(sender, terminate));
        EXPECT_EQ(0u, ExitCodeAfter(recorder, 15000));
        std::vector<RecordedCall> shell = CallsOfKind(ReadTrayRecord(recordPath), "shell");
        ASSERT_EQ(1u, shell.size());
        EXPECT_EQ(L"DELETE", shell[0].fields[0]) << "the icon goes with the program";
        EXPECT_TRUE(ShownNotices(ReadTrayRecord(recordPath)).empty());
        CloseHandle(recorder);
        recorder = NULL;
        CloseHandle(idle);
        CloseHandle(sender);
        clients.clear();
    }
}

// Started by hand, the command line is the program path: no pipe can be
// made of it, and the program runs on without one.
TEST_F(TrayListener, WithoutAPipeNameTheProgramKeepsRunning)
{
    StartRecorder(L"\"" + BinPath(kRecorder) + L"\"");
    Sleep(2000);
    EXPECT_EQ(STILL_ACTIVE, ExitCodeAfter(recorder, 0));

    // Its window still works: a click sends the (empty) last notice.
    PostMessageW(window, WM_APP, 2, WM_LBUTTONDOWN);
    ASSERT_TRUE(WaitUntil([&] { return !CallsOfKind(ReadTrayRecord(recordPath), "popup").empty(); }, 10000));
}

// The program's own window: session changes and clicks reach the presenter,
// and Wine's tray shows the balloon.
TEST_F(TrayListener, WindowTakesSessionChangesAndClicks)
{
    StartRecorder(pipeName);
    HANDLE client = Connect();
    ASSERT_TRUE(SendNotice(client, L"#2first"));
    ASSERT_TRUE(WaitForShown(1));
    EXPECT_TRUE(WaitUntil(BalloonVisible, 10000)) << "Wine's tray draws the balloon";
    std::vector<RecordedCall> shell = CallsOfKind(ReadTrayRecord(recordPath), "shell");
    ASSERT_EQ(1u, shell.size());
    EXPECT_EQ(L"1", shell[0].fields[11]) << "the shell took the icon";

    PostMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0);
    ASSERT_TRUE(SendNotice(client, L"#3while locked"));
    ASSERT_TRUE(WaitUntil([&] { return LoadedIcons(ReadTrayRecord(recordPath)).size() >= 2; }, 10000));
    EXPECT_EQ(1u, Shown().size()) << "nothing shown while locked";

    PostMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0);
    ASSERT_TRUE(WaitForShown(2));
    EXPECT_EQ(L"while locked", Shown()[1].message);
    EXPECT_EQ(130, Shown()[1].icon);

    PostMessageW(window, WM_APP, 2, WM_LBUTTONDOWN);
    std::vector<RecordedCall> popups;
    ASSERT_TRUE(WaitUntil([&] { return !(popups = CallsOfKind(ReadTrayRecord(recordPath), "popup")).empty(); }, 10000));
    EXPECT_EQ((std::vector<std::wstring>{L"1", L"16", L"15", L"0", L"30", L"26", L"Vantrel Arvexa", L"while locked"}),
              popups[0].fields);
}

}  // namespace
