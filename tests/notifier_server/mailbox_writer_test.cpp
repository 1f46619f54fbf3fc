// The writer's side of the mailbox: post_notice.exe and the management-server
// stand-in, checked byte for byte against a real mailbox.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "notifier_fixture.h"
#include "test_support.h"

namespace {

std::wstring SlotText(const TestMailbox& mailbox, int slot)
{
    const wchar_t* units = (const wchar_t*)(mailbox.block + 4 + 600 * slot);
    return std::wstring(units, wcsnlen(units, 300));
}

bool SlotRestIsZero(const TestMailbox& mailbox, int slot, size_t fromUnit)
{
    const BYTE* bytes = mailbox.block + 4 + 600 * slot;
    for (size_t i = fromUnit * 2; i < 600; i++)
        if (bytes[i] != 0)
            return false;
    return true;
}

ProgramRun PostNoticeProgram(const std::wstring& arguments)
{
    return RunProgram(L"\"" + TestBinDirectory() + L"\\post_notice.exe\" " + arguments, 10000);
}

HANDLE StartPostNotice(const std::wstring& text)
{
    return StartProgram(L"\"" + TestBinDirectory() + L"\\post_notice.exe\" \"" + text + L"\"");
}

class PostNotice : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(mailbox.Create()); }
    void TearDown() override { mailbox.Close(); }
    TestMailbox mailbox;
};

TEST_F(PostNotice, AppendsAfterTheWaitingNoticesWithItsNul)
{
    const struct { LONG countBefore; std::wstring text; int slot; } cases[] = {
        {0, L"#3Drive 2 failed", 1},
        {-4, L"negative means empty", 1},
        {2, std::wstring(299, L'w'), 3},
        {5, L"", 6},
        {98, L"#2\u00dcberhitzung \u2713", 99},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.countBefore);
        ZeroMemory(mailbox.block, 60004);
        mailbox.SetCount(c.countBefore);
        for (int slot = 1; slot <= c.countBefore; slot++)
            mailbox.WriteSlot(slot, L"earlier " + std::to_wstring(slot));
        // A leftover in the target slot must not survive behind the new text.
        mailbox.WriteSlot(c.slot, std::wstring(299, L'?'));
        ProgramRun run = PostNoticeProgram(L"\"" + c.text + L"\"");
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(0u, run.exitCode) << run.output;
        EXPECT_EQ(c.slot, mailbox.Count());
        EXPECT_EQ(c.text, SlotText(mailbox, c.slot));
        EXPECT_TRUE(SlotRestIsZero(mailbox, c.slot, c.text.size()));
        for (int slot = 1; slot < c.slot && c.countBefore > 0; slot++)
            EXPECT_EQ(L"earlier " + std::to_wstring(slot), SlotText(mailbox, slot));
    }
}

TEST_F(PostNotice, RefusesWhatNoSlotHoldsAndBadCommandLines)
{
    const struct { std::wstring arguments; DWORD exitCode; const char* message; } cases[] = {
        {L"\"" + std::wstring(300, L'x') + L"\"", 2, "at most 299"},
        {L"", 1, "usage"},
        {L"one two", 1, "usage"},
    };
    for (const auto& c : cases) {
        ProgramRun run = PostNoticeProgram(c.arguments);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(c.exitCode, run.exitCode);
        EXPECT_NE(std::string::npos, run.output.find(c.message)) << run.output;
        EXPECT_TRUE(mailbox.AllZero());
    }
}

TEST(PostNoticeWithoutMailbox, SaysSoAndFails)
{
    ProgramRun run = PostNoticeProgram(L"\"#1hello\"");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(3u, run.exitCode);
    EXPECT_NE(std::string::npos, run.output.find("no event mailbox")) << run.output;
}

TEST_F(PostNotice, WaitsWhileTheMailboxIsFull)
{
    mailbox.SetCount(99);
    HANDLE post = StartPostNotice(L"#2patient");
    ASSERT_NE(nullptr, post);
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(post, 600));
    // Drain as the notifier server does.
    WaitForSingleObject(mailbox.mutex, INFINITE);
    ZeroMemory(mailbox.block, 60004);
    ReleaseMutex(mailbox.mutex);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(post, 5000));
    DWORD exitCode = 1;
    GetExitCodeProcess(post, &exitCode);
    CloseHandle(post);
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(1, mailbox.Count());
    EXPECT_EQ(L"#2patient", SlotText(mailbox, 1));
}

class ManagementServerStandIn : public ::testing::Test {
protected:
    void SetUp() override
    {
        TerminateProcessesNamed(L"Arvexa.exe");
        record = PublishServerStatusRecord();
    }
    void TearDown() override
    {
        TerminateProcessesNamed(L"Arvexa.exe");
        if (server != NULL)
            CloseHandle(server);
        CloseServerStatusRecord(record);
        mailbox.Close();
    }
    void Start() { server = StartProgram(L"\"" + TestBinDirectory() + L"\\Arvexa.exe\""); }
    bool OpenMailbox()
    {
        return WaitUntil([&] {
            mailbox.mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, L"Global\\EventFileMappingObject");
            mailbox.mutex = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, L"Global\\EventNotificationMutex");
            if (mailbox.mapping != NULL && mailbox.mutex != NULL)
                return true;
            mailbox.Close();
            return false;
        }, 10000);
    }
    DWORD WaitForEnd(DWORD timeoutMs)
    {
        if (WaitForSingleObject(server, timeoutMs) != WAIT_OBJECT_0)
            return STILL_ACTIVE;
        DWORD exitCode = STILL_ACTIVE;
        GetExitCodeProcess(server, &exitCode);
        return exitCode;
    }
    ServerStatusRecord record = {};
    HANDLE server = NULL;
    TestMailbox mailbox;
};

TEST_F(ManagementServerStandIn, OwnsTheMailboxAndPostsTheControlNotices)
{
    Start();
    ASSERT_TRUE(OpenMailbox());
    mailbox.block = (BYTE*)MapViewOfFile(mailbox.mapping, FILE_MAP_ALL_ACCESS, 0, 0, 60004);
    ASSERT_NE(nullptr, mailbox.block);
    ASSERT_TRUE(WaitUntil([&] { return mailbox.Count() == 1; }, 5000));
    EXPECT_EQ(L"#1Start Arvexa", SlotText(mailbox, 1));
    ProgramRun run = PostNoticeProgram(L"\"#2in between\"");
    EXPECT_EQ(0u, run.exitCode) << run.output;
    WriteServerStatus(record, L"Stop", 0);
    EXPECT_EQ(0u, WaitForEnd(10000));
    EXPECT_EQ(3, mailbox.Count());
    EXPECT_EQ(L"#2in between", SlotText(mailbox, 2));
    EXPECT_EQ(L"#1Terminate Arvexa", SlotText(mailbox, 3));
}

// Nobody drains: the stand-in gives up on its notices rather than keep the
// service host waiting for it.
TEST_F(ManagementServerStandIn, AFullMailboxDoesNotKeepItFromEnding)
{
    ASSERT_TRUE(mailbox.Create());
    mailbox.SetCount(99);
    Start();
    WriteServerStatus(record, L"Stop", 0);
    EXPECT_EQ(0u, WaitForEnd(15000));
    EXPECT_EQ(99, mailbox.Count());
}

}  // namespace
