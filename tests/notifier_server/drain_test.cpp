// The drain against a real mailbox in the prefix, relaying to a real pipe.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "mailbox.h"
#include "notifier_fixture.h"
#include "server_lock_once.h"
#include "session_pipes.h"
#include "session_tracking.h"

namespace {

class MailboxDrain : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateServerLockOnce();
        ASSERT_TRUE(mailbox.Create());
        window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
        ASSERT_NE(nullptr, window);
        RecordServerWindow(window);
    }
    void TearDown() override
    {
        mailbox.Close();
        DestroyWindow(window);
    }

    // A fresh tray notifier end filed under sessionId.
    void Connect(DWORD sessionId, TestPipeServer* server)
    {
        ASSERT_TRUE(server->Create(L"\\\\.\\pipe\\drainTest" + std::to_wstring(sessionId)));
        HANDLE client;
        ASSERT_TRUE(ConnectSessionPipe(server->name.c_str(), &client));
        server->AcceptClient();
        AddSession(sessionId, client);
    }
    bool DestroyWasPosted()
    {
        MSG message;
        return PeekMessageW(&message, window, WM_DESTROY, WM_DESTROY, PM_REMOVE) != FALSE;
    }

    TestMailbox mailbox;
    HWND window = NULL;
};

std::vector<std::string> Messages(const std::vector<std::wstring>& texts)
{
    std::vector<std::string> messages;
    for (const std::wstring& text : texts)
        messages.push_back(NoticeMessage(text));
    return messages;
}

TEST_F(MailboxDrain, RelaysSlotsOneToCountInOrderThenZeroesTheBlock)
{
    const std::wstring full(300, L'x');  // fills its slot, no NUL inside
    const struct {
        const char* what;
        LONG count;
        std::map<int, std::wstring> slots;
        std::vector<std::wstring> relayed;
        bool destroy;
    } cases[] = {
        {"start notice dropped in any case", 3,
         {{1, L"#2first"}, {2, L"#1sTaRt ArVeXa"}, {3, L"third"}}, {L"#2first", L"third"}, false},
        {"start notice exact", 2, {{1, L"#1Start Arvexa"}, {2, L"#1START ARVEXA"}}, {}, false},
        {"terminate ends the drain", 4,
         {{1, L"#3one"}, {2, L"#1TERMINATE arvexa"}, {3, L"three"}, {4, L"four"}},
         {L"#3one", L"#1TERMINATE arvexa"}, true},
        {"terminate with a blank is an event", 1, {{1, L"#1Terminate Arvexa "}},
         {L"#1Terminate Arvexa "}, false},
        {"slot 0 is never relayed", 1, {{0, L"#3zero"}, {1, L"one"}}, {L"one"}, false},
        {"count 0 relays nothing", 0, {{1, L"one"}, {2, L"two"}}, {}, false},
        {"negative count relays nothing", -2, {{1, L"one"}}, {}, false},
        {"empty notice", 1, {{1, L""}}, {L""}, false},
        {"slot without NUL ends at the slot's end", 2, {{1, full}, {2, L"next"}}, {full, L"next"}, false},
    };
    DWORD session = 100;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestPipeServer server;
        Connect(++session, &server);
        mailbox.SetCount(c.count);
        for (const auto& slot : c.slots) {
            if (slot.second.size() == 300)
                mailbox.WriteSlotUnits(slot.first, slot.second);
            else
                mailbox.WriteSlot(slot.first, slot.second);
        }
        DrainMailboxOnce(mailbox.block, mailbox.mutex);
        EXPECT_EQ(Messages(c.relayed), server.ReadWaitingMessages());
        EXPECT_TRUE(mailbox.AllZero());
        EXPECT_EQ(c.destroy, DestroyWasPosted());
        RemoveSession(session);
        server.Close();
    }
}

TEST_F(MailboxDrain, CountAbove99ReadsTheNinetyNineSlotsThereAre)
{
    TestPipeServer server;
    Connect(7, &server);
    std::vector<std::wstring> texts;
    for (int slot = 1; slot <= 99; slot++) {
        texts.push_back(L"#1notice " + std::to_wstring(slot));
        mailbox.WriteSlot(slot, texts.back());
    }
    mailbox.SetCount(0x7FFFFFFF);
    DrainMailboxOnce(mailbox.block, mailbox.mutex);
    EXPECT_EQ(Messages(texts), server.ReadWaitingMessages());
    EXPECT_TRUE(mailbox.AllZero());
    RemoveSession(7);
}

DWORD WINAPI TakeMutexAndEnd(LPVOID mutex)
{
    WaitForSingleObject((HANDLE)mutex, INFINITE);
    return 0;
}

TEST_F(MailboxDrain, AnAbandonedMutexCountsAsAcquired)
{
    HANDLE thread = CreateThread(NULL, 0, TakeMutexAndEnd, mailbox.mutex, 0, NULL);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
    CloseHandle(thread);
    TestPipeServer server;
    Connect(8, &server);
    mailbox.SetCount(1);
    mailbox.WriteSlot(1, L"#2after a writer died");
    DrainMailboxOnce(mailbox.block, mailbox.mutex);
    EXPECT_EQ(Messages({L"#2after a writer died"}), server.ReadWaitingMessages());
    EXPECT_TRUE(mailbox.AllZero());
    // Released again: another thread can take it.
    thread = CreateThread(NULL, 0, TakeMutexAndEnd, mailbox.mutex, 0, NULL);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
    CloseHandle(thread);
    RemoveSession(8);
}

// The drain thread ends only when it cannot open the mailbox.
TEST(DrainThread, EndsWhenTheMailboxCannotBeOpened)
{
    const struct { const char* what; DWORD mappingBytes; bool mutex; DWORD exitCode; } cases[] = {
        {"neither object", 0, false, (DWORD)-1},
        {"no mutex", 60004, false, (DWORD)-1},
        {"no mapping", 0, true, (DWORD)-1},
        {"mapping too small for the view", 4096, true, (DWORD)-2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HANDLE mapping = c.mappingBytes == 0 ? NULL
            : CreateFileMappingW(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, c.mappingBytes,
                                 L"Global\\EventFileMappingObject");
        HANDLE mutex = c.mutex ? CreateMutexW(NULL, FALSE, L"Global\\EventNotificationMutex") : NULL;
        HANDLE thread = CreateThread(NULL, 0, DrainMailbox, NULL, 0, NULL);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
        DWORD exitCode = 0;
        GetExitCodeThread(thread, &exitCode);
        EXPECT_EQ(c.exitCode, exitCode);
        CloseHandle(thread);
        if (mapping != NULL)
            CloseHandle(mapping);
        if (mutex != NULL)
            CloseHandle(mutex);
    }
}

}  // namespace
