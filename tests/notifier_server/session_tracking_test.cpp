// Session tracking with the Terminal Services calls replaced by a recording
// stand-in; launches are real, of the tray notifier double.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client_launch.h"
#include "fake_session_notifications.h"
#include "notifier_fixture.h"
#include "session_pipes.h"
#include "session_tracking.h"
#include "test_support.h"

namespace {

const DWORD kNoConsole = 0xFFFFFFFF;
const wchar_t kTerminate[] = L"#1Terminate Arvexa";

// The program starts with no session attached to the console.
class NoConsoleAtStart : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(InstallTrayDouble(SystemDirectory(), L"NotiTrayClient.exe"));
        ClearDoubleLogs();
        g_fakeConsoleSession = kNoConsole;
        StartConsoleLaunch();
    }
};
::testing::Environment* const kNoConsoleAtStart = ::testing::AddGlobalTestEnvironment(new NoConsoleAtStart);

class SessionTracking : public ::testing::Test {
protected:
    void SetUp() override
    {
        TerminateProcessesNamed(L"NotiTrayClient.exe");
        window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
        ASSERT_NE(nullptr, window);
    }
    void TearDown() override
    {
        BroadcastNotice(kTerminate);
        TerminateProcessesNamed(L"NotiTrayClient.exe");
        DestroyWindow(window);
        g_fakeConsoleSession = kNoConsole;
    }
    void Logon(DWORD session) { ServerWindowProc(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, session); }
    static bool Connected(const std::wstring& pipeName, DoubleRun* run)
    {
        return WaitUntil([&] { return FindDoubleRun(pipeName, run) && run->connections == 1; }, 10000);
    }
    HWND window = NULL;
};

TEST_F(SessionTracking, WithoutAConsoleSessionNothingIsLaunched)
{
    WCHAR path[SYSTEM_PATH_UNITS];
    ASSERT_TRUE(BuildSystemPath(L"NotiTrayClient.exe", path));
    EXPECT_FALSE(LaunchInSession(path, L"\\\\.\\pipe\\arvexaPipe2", 0xFFFFFFFF));
    // Neither that nor the start without a console started a tray notifier.
    Sleep(300);
    EXPECT_TRUE(DoubleRuns().empty());
    EXPECT_EQ(0, CountProcessesNamed(L"NotiTrayClient.exe"));
}

// Every process here reports session 1; a console session 3 has none of them,
// so each logon launches, and two logons in a row keep their own pipe names.
TEST_F(SessionTracking, TwoLogonsInARowLaunchTwoTrayNotifiersEachWithItsOwnPipe)
{
    ClearDoubleLogs();
    g_fakeConsoleSession = 3;
    Logon(8);
    Logon(9);
    DoubleRun eight, nine;
    ASSERT_TRUE(Connected(L"\\\\.\\pipe\\arvexaPipe8", &eight));
    ASSERT_TRUE(Connected(L"\\\\.\\pipe\\arvexaPipe9", &nine));
    EXPECT_EQ(2u, DoubleRuns().size());
    BroadcastNotice(L"#2to both");
    ASSERT_TRUE(WaitUntil([&] {
        return FindDoubleRun(L"\\\\.\\pipe\\arvexaPipe8", &eight) && eight.messages.size() == 1 &&
               FindDoubleRun(L"\\\\.\\pipe\\arvexaPipe9", &nine) && nine.messages.size() == 1;
    }, 5000));
    EXPECT_EQ(L"#2to both", eight.messages[0].second);
    EXPECT_EQ(L"#2to both", nine.messages[0].second);
}

TEST_F(SessionTracking, ATrayNotifierCountsOnlyInTheConsoleSession)
{
    g_fakeConsoleSession = 1;
    EXPECT_FALSE(IsTrayNotifierInConsoleSession());
    HANDLE process = StartTrayDouble(SystemDirectory() + L"\\NotiTrayClient.exe", L"\\\\.\\pipe\\byHand");
    ASSERT_NE(nullptr, process);
    ASSERT_TRUE(WaitUntil([] { return !DoubleRuns().empty(); }, 5000));
    EXPECT_TRUE(IsTrayNotifierInConsoleSession());
    g_fakeConsoleSession = 2;
    EXPECT_FALSE(IsTrayNotifierInConsoleSession());
    // And a logon then launches one more.
    ClearDoubleLogs();
    Logon(4);
    DoubleRun four;
    EXPECT_TRUE(Connected(L"\\\\.\\pipe\\arvexaPipe4", &four));
    TerminateProcess(process, 0);
    CloseHandle(process);
}

TEST_F(SessionTracking, DestroyUnregistersWhatWasRegisteredAndQuitsWithZero)
{
    for (BOOL registered : {TRUE, FALSE}) {
        SCOPED_TRACE(registered ? "registered" : "registration refused");
        g_fakeRegistrationResult = registered;
        g_fakeRegisteredWindows.clear();
        g_fakeUnregisteredWindows.clear();
        StartSessionNotifications(window);
        EXPECT_EQ(std::vector<HWND>{window}, g_fakeRegisteredWindows);
        EXPECT_EQ(0, ServerWindowProc(window, WM_DESTROY, 0, 0));
        EXPECT_EQ(registered ? std::vector<HWND>{window} : std::vector<HWND>{}, g_fakeUnregisteredWindows);
        MSG message;
        ASSERT_TRUE(PeekMessageW(&message, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_EQ(0u, message.wParam);
    }
}

}  // namespace
