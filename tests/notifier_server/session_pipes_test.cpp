// The session map and the broadcast over real named pipes, the test holding
// the tray notifier's end of each.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "notifier_fixture.h"
#include "server_lock_once.h"
#include "session_pipes.h"

namespace {

const wchar_t kTerminate[] = L"#1Terminate Arvexa";

class SessionPipes : public ::testing::Test {
protected:
    void SetUp() override { CreateServerLockOnce(); }
    void TearDown() override
    {
        for (DWORD session : filed)
            RemoveSession(session);
        for (auto& server : servers)
            server->Close();
    }

    // A new tray notifier end, connected and filed under sessionId.
    TestPipeServer* Connect(DWORD sessionId, DWORD inBufferBytes = 4096)
    {
        servers.push_back(std::make_unique<TestPipeServer>());
        TestPipeServer* server = servers.back().get();
        std::wstring name = L"\\\\.\\pipe\\sessionPipesTest" + std::to_wstring(servers.size());
        EXPECT_TRUE(server->Create(name, inBufferBytes));
        HANDLE client = INVALID_HANDLE_VALUE;
        EXPECT_TRUE(ConnectSessionPipe(name.c_str(), &client));
        server->AcceptClient();
        AddSession(sessionId, client);
        filed.push_back(sessionId);
        return server;
    }

    std::vector<std::unique_ptr<TestPipeServer>> servers;
    std::vector<DWORD> filed;
};

TEST(SessionPipeName, IsTheSessionIdAsASignedDecimal)
{
    const struct { DWORD session; const wchar_t* name; } cases[] = {
        {0, L"\\\\.\\pipe\\arvexaPipe0"},
        {1, L"\\\\.\\pipe\\arvexaPipe1"},
        {65536, L"\\\\.\\pipe\\arvexaPipe65536"},
        {0xFFFFFFFF, L"\\\\.\\pipe\\arvexaPipe-1"},
        {0x80000000, L"\\\\.\\pipe\\arvexaPipe-2147483648"},
    };
    for (const auto& c : cases) {
        WCHAR name[PIPE_NAME_UNITS];
        FormatSessionPipeName(c.session, name);
        EXPECT_EQ(std::wstring(c.name), std::wstring(name));
    }
}

TEST(ConnectSessionPipeTest, FailsAtOnceWhenNoSuchPipeExists)
{
    DWORD start = GetTickCount();
    HANDLE pipe = NULL;
    EXPECT_FALSE(ConnectSessionPipe(L"\\\\.\\pipe\\arvexaPipeNobodyServes", &pipe));
    EXPECT_EQ(nullptr, pipe);
    // Generous bound: a connect that waited would spoil the launch's 150 tries.
    EXPECT_LT(GetTickCount() - start, 2000u);
}

TEST(ConnectSessionPipeTest, OpensTheClientEndInMessageReadMode)
{
    TestPipeServer server;
    ASSERT_TRUE(server.Create(L"\\\\.\\pipe\\connectTest"));
    HANDLE client = INVALID_HANDLE_VALUE;
    ASSERT_TRUE(ConnectSessionPipe(server.name.c_str(), &client));
    DWORD state = 0;
    ASSERT_TRUE(GetNamedPipeHandleStateW(client, &state, NULL, NULL, NULL, NULL, 0));
    EXPECT_EQ((DWORD)PIPE_READMODE_MESSAGE, state & PIPE_READMODE_MESSAGE);
    CloseHandle(client);
    server.Close();
}

TEST_F(SessionPipes, EachNoticeIsOneMessageWithItsNul)
{
    TestPipeServer* first = Connect(3);
    TestPipeServer* second = Connect(1);
    const std::wstring longest(299, L'n');
    for (const std::wstring& text : {std::wstring(L"abc"), std::wstring(L""), longest})
        BroadcastNotice(text.c_str());
    const std::vector<std::string> expected = {std::string("a\0b\0c\0\0\0", 8), std::string(2, '\0'),
                                               NoticeMessage(longest)};
    EXPECT_EQ(600u, expected[2].size());
    EXPECT_EQ(expected, first->ReadWaitingMessages());
    EXPECT_EQ(expected, second->ReadWaitingMessages());
}

struct Broadcast {
    std::wstring text;
    HANDLE done;
};

DWORD WINAPI BroadcastOnThread(LPVOID parameter)
{
    Broadcast* broadcast = (Broadcast*)parameter;
    BroadcastNotice(broadcast->text.c_str());
    SetEvent(broadcast->done);
    return 0;
}

// Session 1 is written before session 3: while session 1's pipe has no room,
// session 3 has not received the notice either.
TEST_F(SessionPipes, BroadcastGoesInAscendingSessionOrder)
{
    TestPipeServer* three = Connect(3);
    TestPipeServer* one = Connect(1, 1024);
    Broadcast broadcast = {L"", CreateEventW(NULL, TRUE, FALSE, NULL)};
    HANDLE blockedThread = NULL;
    // Broadcast until a write to session 1 blocks for want of room.
    for (int i = 0; i < 64 && blockedThread == NULL; i++) {
        broadcast.text = L"#1notice " + std::to_wstring(i) + std::wstring(280, L'.');
        ResetEvent(broadcast.done);
        HANDLE thread = CreateThread(NULL, 0, BroadcastOnThread, &broadcast, 0, NULL);
        if (WaitForSingleObject(broadcast.done, 300) == WAIT_TIMEOUT) {
            blockedThread = thread;
            break;
        }
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
        EXPECT_EQ(std::vector<std::string>{NoticeMessage(broadcast.text)}, three->ReadWaitingMessages());
    }
    ASSERT_NE(nullptr, blockedThread) << "session 1's pipe never filled up";
    EXPECT_TRUE(three->ReadWaitingMessages().empty()) << "session 3 was written before session 1";
    std::vector<std::string> atOne;
    while (WaitForSingleObject(blockedThread, 50) == WAIT_TIMEOUT) {
        std::vector<std::string> read = one->ReadWaitingMessages();
        atOne.insert(atOne.end(), read.begin(), read.end());
    }
    std::vector<std::string> rest = one->ReadWaitingMessages();
    atOne.insert(atOne.end(), rest.begin(), rest.end());
    EXPECT_EQ(NoticeMessage(broadcast.text), atOne.back());
    EXPECT_EQ(std::vector<std::string>{NoticeMessage(broadcast.text)}, three->ReadWaitingMessages());
    CloseHandle(blockedThread);
    CloseHandle(broadcast.done);
}

TEST_F(SessionPipes, TerminateClosesAndRemovesEachPipeThatTookIt)
{
    TestPipeServer* one = Connect(1);
    TestPipeServer* two = Connect(2);
    two->Close();  // its tray notifier is gone
    BroadcastNotice(kTerminate);
    EXPECT_EQ(std::vector<std::string>{NoticeMessage(kTerminate)}, one->ReadWaitingMessages());
    EXPECT_TRUE(one->ClientClosed());
    // Both entries are gone: new connections can be filed under the same ids.
    TestPipeServer* oneAgain = Connect(1);
    TestPipeServer* twoAgain = Connect(2);
    BroadcastNotice(L"after");
    EXPECT_EQ(std::vector<std::string>{NoticeMessage(L"after")}, oneAgain->ReadWaitingMessages());
    EXPECT_EQ(std::vector<std::string>{NoticeMessage(L"after")}, twoAgain->ReadWaitingMessages());
}

// Without this the session's next tray notifier could never be filed.
TEST_F(SessionPipes, APipeWhoseReaderIsGoneIsRemovedAndTheOthersStillReceive)
{
    TestPipeServer* one = Connect(1);
    TestPipeServer* five = Connect(5);
    five->Close();
    BroadcastNotice(L"#3first");
    EXPECT_EQ(std::vector<std::string>{NoticeMessage(L"#3first")}, one->ReadWaitingMessages());
    TestPipeServer* fiveAgain = Connect(5);
    BroadcastNotice(L"#3second");
    EXPECT_EQ(std::vector<std::string>{NoticeMessage(L"#3second")}, one->ReadWaitingMessages());
    EXPECT_EQ(std::vector<std::string>{NoticeMessage(L"#3second")}, fiveAgain->ReadWaitingMessages());
}

TEST_F(SessionPipes, ASecondConnectionForASessionIsClosedAndTheFirstKept)
{
    TestPipeServer* first = Connect(4);
    TestPipeServer* second = Connect(4);
    EXPECT_TRUE(second->ClientClosed());
    BroadcastNotice(L"only once");
    EXPECT_EQ(std::vector<std::string>{NoticeMessage(L"only once")}, first->ReadWaitingMessages());
}

TEST_F(SessionPipes, RemoveSessionClosesThatPipeOnly)
{
    TestPipeServer* one = Connect(1);
    TestPipeServer* two = Connect(2);
    EXPECT_TRUE(RemoveSession(2));
    EXPECT_TRUE(two->ClientClosed());
    EXPECT_TRUE(two->ReadWaitingMessages().empty());
    BroadcastNotice(L"still here");
    EXPECT_EQ(std::vector<std::string>{NoticeMessage(L"still here")}, one->ReadWaitingMessages());
}

TEST_F(SessionPipes, RemovingAnAbsentSessionChangesNothingAndFreesTheLock)
{
    EXPECT_TRUE(RemoveSession(9));  // empty map
    TestPipeServer* one = Connect(1);
    EXPECT_TRUE(RemoveSession(9));
    // Another thread can still take the server lock.
    Broadcast broadcast = {L"lock is free", CreateEventW(NULL, TRUE, FALSE, NULL)};
    HANDLE thread = CreateThread(NULL, 0, BroadcastOnThread, &broadcast, 0, NULL);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(broadcast.done, 5000));
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    CloseHandle(broadcast.done);
    EXPECT_EQ(std::vector<std::string>{NoticeMessage(L"lock is free")}, one->ReadWaitingMessages());
}

}  // namespace
