// The balloon presenter against the in-memory system-call module: what it
// asks of the shell, the session service and the icon loader, call by call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console_session.h"
#include "fake_shell_calls.h"
#include "presenter.h"

namespace {

const HWND kWindow = (HWND)(INT_PTR)0x4242;
const std::wstring kTitle = L"Vantrel Arvexa";

typedef std::vector<std::string> Trail;

void Click(LPARAM mouseMessage = WM_LBUTTONDOWN)
{
    EXPECT_EQ(0, NotifierWindowProc(kWindow, WM_APP, 2, mouseMessage));
}

void SessionChange(WPARAM event)
{
    EXPECT_EQ(0, NotifierWindowProc(kWindow, WM_WTSSESSION_CHANGE, event, 0));
}

void ForgetCalls()
{
    fakeSystem = FakeSystem();
}

BOOL Show(const std::wstring& message, int severity)
{
    return ShowNotice(kTitle.c_str(), message.c_str(), severity);
}

// The record as it must be after a notice, field by field; the fields the
// presenter never sets stay zero.
void ExpectNoticeRecord(const NOTIFYICONDATAW& record, const std::wstring& message, int icon,
                        DWORD infoFlags)
{
    EXPECT_EQ(NOTIFYICONDATAW_V3_SIZE, record.cbSize);
    EXPECT_EQ(kWindow, record.hWnd);
    EXPECT_EQ(2u, record.uID);
    EXPECT_EQ(0x17u, record.uFlags);
    EXPECT_EQ(0x8000u, record.uCallbackMessage);
    EXPECT_EQ(FakeIcon(icon), record.hIcon);
    EXPECT_EQ(kTitle, record.szTip);
    EXPECT_EQ(0u, record.dwState);
    EXPECT_EQ(0u, record.dwStateMask);
    EXPECT_EQ(message, record.szInfo);
    EXPECT_EQ(2500u, record.uTimeout);
    EXPECT_EQ(kTitle, record.szInfoTitle);
    EXPECT_EQ(infoFlags, record.dwInfoFlags);
    GUID zero = {};
    EXPECT_EQ(0, memcmp(&zero, &record.guidItem, sizeof(zero)));
    EXPECT_EQ(NULL, record.hBalloonIcon);
}

// Every test starts as the program does: no icon, balloons visible.
class Presenter : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitTrayIcon(kWindow);
        Click();
        SessionChange(WTS_REMOTE_CONNECT);
        ForgetCalls();
    }
};

TEST_F(Presenter, FirstNoticeAddsTheIconWithItsBalloonAndTheSecondModifiesIt)
{
    EXPECT_TRUE(Show(L"Controller #1: battery low", 2));
    EXPECT_EQ((Trail{"icon-load 129", "shell ADD", "pause 2500", "icon-destroy 129"}),
              fakeSystem.trail);
    ASSERT_EQ(1u, fakeSystem.shellCalls.size());
    ExpectNoticeRecord(fakeSystem.shellCalls[0].record, L"Controller #1: battery low", 129, 2);

    ForgetCalls();
    fakeSystem.shellResult = FALSE;
    EXPECT_FALSE(Show(L"Array 2 failed", 3));
    EXPECT_EQ((Trail{"icon-load 130", "shell MODIFY", "pause 2500", "icon-destroy 130"}),
              fakeSystem.trail);
    ASSERT_EQ(1u, fakeSystem.shellCalls.size());
    ExpectNoticeRecord(fakeSystem.shellCalls[0].record, L"Array 2 failed", 130, 3);
}

TEST_F(Presenter, ShellThatRefusesTheAddStillCountsTheIconAsShown)
{
    fakeSystem.shellResult = FALSE;
    EXPECT_FALSE(Show(L"first", 1));
    ForgetCalls();
    Show(L"second", 1);
    ASSERT_EQ(1u, fakeSystem.shellCalls.size());
    EXPECT_EQ((DWORD)NIM_MODIFY, fakeSystem.shellCalls[0].message);
}

struct SeverityCase {
    int severity;
    int icon;
    DWORD infoFlags;
    DWORD boxStyle;
};

TEST_F(Presenter, SeverityPicksIconInfoFlagsAndMessageBoxStyle)
{
    const SeverityCase cases[] = {
        {1, 131, 17, MB_ICONINFORMATION},
        {2, 129, 2, MB_ICONWARNING},
        {3, 130, 3, MB_ICONERROR},
        {0, 131, 0, MB_ICONINFORMATION},
        {7, 131, 7, MB_ICONINFORMATION},
        {17, 131, 17, MB_ICONINFORMATION},
        {-4, 131, (DWORD)-4, MB_ICONINFORMATION},
    };
    for (const SeverityCase& c : cases) {
        SCOPED_TRACE("severity " + std::to_string(c.severity));
        SetUp();
        Show(L"notice", c.severity);
        ASSERT_EQ(1u, fakeSystem.shellCalls.size());
        ExpectNoticeRecord(fakeSystem.shellCalls[0].record, L"notice", c.icon, c.infoFlags);

        // The icon put back after an unlock follows the stored info flags.
        SessionChange(WTS_SESSION_LOCK);
        ForgetCalls();
        SessionChange(WTS_SESSION_UNLOCK);
        ASSERT_EQ(2u, fakeSystem.shellCalls.size());
        EXPECT_EQ(FakeIcon(c.icon), fakeSystem.shellCalls[1].record.hIcon);

        Click();
        ASSERT_EQ(1u, fakeSystem.popups.size());
        EXPECT_EQ(MB_OK | c.boxStyle, fakeSystem.popups[0].style);
    }
}

TEST_F(Presenter, ClickShowsTheLastNoticeInTheConsoleSessionAndRemovesTheIcon)
{
    Show(L"Array 1 is degraded", 2);
    ForgetCalls();

    Click();
    EXPECT_EQ((Trail{"sessions", "popup", "shell DELETE"}), fakeSystem.trail);
    ASSERT_EQ(1u, fakeSystem.popups.size());
    const PopupCall& popup = fakeSystem.popups[0];
    EXPECT_EQ(1u, popup.session) << "no console session: session 1";
    EXPECT_EQ(kTitle, popup.title);
    EXPECT_EQ(30u, popup.titleBytes);
    EXPECT_EQ(L"Array 1 is degraded", popup.message);
    EXPECT_EQ(40u, popup.messageBytes);
    EXPECT_EQ((DWORD)(MB_OK | MB_ICONWARNING), popup.style);
    EXPECT_EQ(15u, popup.timeoutSeconds);
    EXPECT_FALSE(popup.wait);

    ForgetCalls();
    Show(L"next", 1);
    ASSERT_EQ(1u, fakeSystem.shellCalls.size());
    EXPECT_EQ((DWORD)NIM_ADD, fakeSystem.shellCalls[0].message) << "the click removed the icon";
}

TEST_F(Presenter, PopupGoesToTheActiveConsoleSession)
{
    Show(L"notice", 1);
    fakeSystem.sessions = {{5, WTSDisconnected, L"Console"},
                           {6, WTSActive, L"RDP-Tcp#1"},
                           {7, WTSActive, L"CoNsOlE"},
                           {8, WTSActive, L"console"}};
    Click();
    ASSERT_EQ(1u, fakeSystem.popups.size());
    EXPECT_EQ(7u, fakeSystem.popups[0].session);
}

TEST_F(Presenter, OnlyTheLeftButtonDownCountsAsAClick)
{
    Show(L"notice", 1);
    ForgetCalls();
    for (LPARAM mouse : std::vector<LPARAM>{WM_LBUTTONUP, WM_RBUTTONDOWN, WM_LBUTTONDBLCLK,
                                            WM_MOUSEMOVE, NIN_BALLOONUSERCLICK, NIN_BALLOONTIMEOUT})
        Click(mouse);
    EXPECT_TRUE(fakeSystem.trail.empty());
}

struct ConsoleCase {
    const char* name;
    BOOL fails;
    std::vector<FakeSession> sessions;
    int expected;
};

TEST(ConsoleSession, FirstActiveSessionOnTheConsoleStation)
{
    const ConsoleCase cases[] = {
        {"enumeration fails", TRUE, {}, -1},
        {"no sessions", FALSE, {}, -1},
        {"console not active", FALSE, {{2, WTSConnected, L"Console"}, {3, WTSDisconnected, L"console"}}, -1},
        {"services session first", FALSE, {{0, WTSDisconnected, L"Services"}, {1, WTSActive, L"Console"}}, 1},
        {"first of two", FALSE, {{9, WTSActive, L"CONSOLE"}, {4, WTSActive, L"console"}}, 9},
        {"whole name only", FALSE, {{3, WTSActive, L"console "}, {4, WTSActive, L"consol"}}, -1},
        {"ASCII letters only", FALSE, {{4, WTSActive, L"con\x017Fole"}}, -1},
    };
    for (const ConsoleCase& c : cases) {
        SCOPED_TRACE(c.name);
        ForgetCalls();
        fakeSystem.enumerationFails = c.fails;
        fakeSystem.sessions = c.sessions;
        EXPECT_EQ(c.expected, FindConsoleSession());
        EXPECT_EQ(fakeSystem.listsHandedOut, fakeSystem.listsFreed);
    }
}

TEST_F(Presenter, WhileHiddenTheRecordKeepsTheLastNoticeAndUnlockShowsItAgain)
{
    Show(L"before the lock", 1);
    SessionChange(WTS_SESSION_LOCK);
    ForgetCalls();

    EXPECT_FALSE(Show(L"during the lock", 3));
    EXPECT_EQ((Trail{"icon-load 130", "icon-destroy 130"}), fakeSystem.trail)
        << "hidden: no shell call and no pause";

    ForgetCalls();
    SessionChange(WTS_SESSION_UNLOCK);
    EXPECT_EQ((Trail{"shell DELETE", "icon-load 130", "shell ADD", "icon-destroy 130"}),
              fakeSystem.trail);
    ASSERT_EQ(2u, fakeSystem.shellCalls.size());
    ExpectNoticeRecord(fakeSystem.shellCalls[1].record, L"during the lock", 130, 3);
}

TEST_F(Presenter, UnlockOrConsoleConnectAddsNothingWhenTheIconWasNotUp)
{
    for (WPARAM event : {WTS_SESSION_UNLOCK, WTS_CONSOLE_CONNECT}) {
        SCOPED_TRACE("event " + std::to_string(event));
        SetUp();
        Show(L"clicked away", 2);
        Click();
        SessionChange(WTS_SESSION_LOCK);
        Show(L"during the lock", 2);
        ForgetCalls();
        SessionChange(event);
        EXPECT_TRUE(fakeSystem.shellCalls.empty());
        Show(L"next", 1);
        ASSERT_EQ(1u, fakeSystem.shellCalls.size());
        EXPECT_EQ((DWORD)NIM_ADD, fakeSystem.shellCalls[0].message);
    }
}

struct SessionChangeCase {
    WPARAM event;
    bool readds;       // when the icon is up
    int balloonsAfter; // 1 shown, 0 hidden, -1 as before
};

TEST_F(Presenter, SessionChangeTable)
{
    const SessionChangeCase cases[] = {
        {WTS_CONSOLE_CONNECT, true, 1},     {WTS_CONSOLE_DISCONNECT, false, 0},
        {WTS_REMOTE_CONNECT, false, 1},     {WTS_REMOTE_DISCONNECT, false, 0},
        {WTS_SESSION_LOGON, false, -1},     {WTS_SESSION_LOGOFF, false, -1},
        {WTS_SESSION_LOCK, false, 0},       {WTS_SESSION_UNLOCK, true, 1},
        {WTS_SESSION_REMOTE_CONTROL, false, -1}, {0, false, -1}, {0x20, false, -1},
    };
    for (const SessionChangeCase& c : cases) {
        for (bool visibleBefore : {true, false}) {
            SCOPED_TRACE("event " + std::to_string(c.event) + (visibleBefore ? " shown" : " hidden"));
            SetUp();
            Show(L"icon up", 1);
            if (!visibleBefore)
                SessionChange(WTS_SESSION_LOCK);
            ForgetCalls();

            SessionChange(c.event);
            EXPECT_EQ(c.readds ? Trail({"shell DELETE", "icon-load 131", "shell ADD", "icon-destroy 131"})
                               : Trail(),
                      fakeSystem.trail);

            ForgetCalls();
            Show(L"probe", 1);
            bool visibleAfter = c.balloonsAfter < 0 ? visibleBefore : c.balloonsAfter == 1;
            ASSERT_EQ(visibleAfter ? 1u : 0u, fakeSystem.shellCalls.size());
            if (visibleAfter) {
                EXPECT_EQ((DWORD)NIM_MODIFY, fakeSystem.shellCalls[0].message) << "never added twice";
            }
        }
    }
}

struct CutCase {
    const char* name;
    std::wstring title;
    std::wstring message;
    std::wstring shownTitle;
    std::wstring shownMessage;
};

TEST_F(Presenter, OverlongTextsAreCutToTheRecord)
{
    const std::wstring pair = L"\xD83D\xDE00";
    const CutCase cases[] = {
        {"message of 300", kTitle, std::wstring(300, L'm'), kTitle, std::wstring(255, L'm')},
        {"message of 255", kTitle, std::wstring(255, L'm'), kTitle, std::wstring(255, L'm')},
        {"title of 100", std::wstring(100, L't'), L"m", std::wstring(63, L't'), L"m"},
        {"pair across the cut", kTitle, std::wstring(254, L'm') + pair + L"tail", kTitle,
         std::wstring(254, L'm')},
        {"pair before the cut", kTitle, std::wstring(253, L'm') + pair + L"tail", kTitle,
         std::wstring(253, L'm') + pair},
    };
    for (const CutCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        ShowNotice(c.title.c_str(), c.message.c_str(), 1);
        ASSERT_EQ(1u, fakeSystem.shellCalls.size());
        const NOTIFYICONDATAW& record = fakeSystem.shellCalls[0].record;
        EXPECT_EQ(c.shownTitle, std::wstring(record.szInfoTitle, wcsnlen(record.szInfoTitle, 64)));
        EXPECT_EQ(c.shownMessage, std::wstring(record.szInfo, wcsnlen(record.szInfo, 256)));
        EXPECT_EQ(2500u, record.uTimeout) << "the field after the message is intact";
        EXPECT_EQ(17u, record.dwInfoFlags) << "the field after the title is intact";
    }
}

TEST(ShellVersionTest, RecordSizeFollowsTheShellVersion)
{
    const struct {
        DWORD version;
        DWORD size;
    } cases[] = {{0, NOTIFYICONDATAW_V2_SIZE},
                 {0x40048, NOTIFYICONDATAW_V2_SIZE},
                 {0x4FFFF, NOTIFYICONDATAW_V2_SIZE},
                 {0x50000, NOTIFYICONDATAW_V3_SIZE},
                 {0x60001, NOTIFYICONDATAW_V3_SIZE}};
    for (const auto& c : cases)
        EXPECT_EQ(c.size, TrayRecordSizeForShell(c.version)) << std::hex << c.version;
}

TEST(ShellVersionTest, ReadsDllGetVersionOrAnswersZero)
{
    EXPECT_GE(ShellVersion(L"Shell32.dll"), 0x50000u) << "Wine's shell32 reports 6.0";
    EXPECT_EQ(0u, ShellVersion(L"kernel32.dll")) << "no DllGetVersion";
    EXPECT_EQ(0u, ShellVersion(L"no-such-library.dll"));
}

TEST_F(Presenter, DestroyRemovesTheIconAndEndsTheMessageLoop)
{
    Show(L"notice", 1);
    ForgetCalls();
    MSG stale;
    while (PeekMessageW(&stale, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }

    EXPECT_EQ(0, NotifierWindowProc(kWindow, WM_DESTROY, 0, 0));
    EXPECT_EQ((Trail{"shell DELETE"}), fakeSystem.trail);
    EXPECT_EQ(2u, fakeSystem.shellCalls[0].record.uID);
    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(0u, quit.wParam);

    ForgetCalls();
    EXPECT_EQ(0, NotifierWindowProc(kWindow, WM_COMMAND, 1, 0));
    EXPECT_TRUE(fakeSystem.trail.empty());
}

// A click or a session change while a reader waits out its balloon goes
// through at once: the pause is taken outside the presenter lock.
TEST_F(Presenter, BalloonPauseHoldsUpNeitherClicksNorSessionChanges)
{
    Show(L"icon up", 1);
    HANDLE windowThread = NULL;
    bool handledDuringPause = false;
    fakeSystem.duringPause = [&] {
        windowThread = CreateThread(NULL, 0, [](LPVOID) -> DWORD {
            NotifierWindowProc(kWindow, WM_APP, 2, WM_LBUTTONDOWN);
            NotifierWindowProc(kWindow, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0);
            return 0;
        }, NULL, 0, NULL);
        handledDuringPause = WaitForSingleObject(windowThread, 5000) == WAIT_OBJECT_0;
    };
    Show(L"second", 2);
    ASSERT_NE((HANDLE)NULL, windowThread);
    EXPECT_TRUE(handledDuringPause);
    WaitForSingleObject(windowThread, INFINITE);
    CloseHandle(windowThread);
}

}  // namespace
