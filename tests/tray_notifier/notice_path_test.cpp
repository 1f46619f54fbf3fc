// The notice path with the real programs under Wine: notices posted into the
// event mailbox of the management-server stand-in travel through
// NotiTrayServer.exe to the tray notifier that it starts from the system
// directory. The tray notifier there is the recording build, installed as
// NotiTrayClient.exe, so the test reads what it asked of the shell.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "notice_path.h"

namespace {

struct ExpectedNotice {
    std::wstring notice;
    DWORD infoFlags;
    int icon;
    std::wstring message;
};

class NoticePathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string failure = StartNoticePath(path);
        ASSERT_EQ("", failure);
    }
    void TearDown() override { StopNoticePath(path); }

    NoticePath path;
};

TEST_F(NoticePathTest, NoticesReachTheTrayInOrderWithTheirSeverityAndTerminateEndsBoth)
{
    // Balloons visible: each notice shows for its 2.5 s.
    const ExpectedNotice visible[] = {
        {L"#1Volume 1 is ready", 17, 131, L"Volume 1 is ready"},
        {L"#2Battery of controller 1 is low", 2, 129, L"Battery of controller 1 is low"},
        {L"#3Array 2 has failed", 3, 130, L"Array 2 has failed"},
        {L"#7Unusual severity", 7, 131, L"Unusual severity"},
        {L"Plain text without a prefix", 17, 131, L"Plain text without a prefix"},
    };
    for (const ExpectedNotice& notice : visible)
        ASSERT_EQ("", PostIntoMailbox(notice.notice));
    ASSERT_TRUE(WaitUntil([&] { return ShownAfterProbes(path).size() >= std::size(visible); }, 40000));
    std::vector<ShownNotice> shown = ShownAfterProbes(path);
    ASSERT_EQ(std::size(visible), shown.size()) << "none lost, none doubled";
    for (size_t i = 0; i < shown.size(); i++) {
        SCOPED_TRACE(WideToUtf8(visible[i].notice));
        EXPECT_EQ(L"MODIFY", shown[i].operation) << "the probe added the icon";
        EXPECT_EQ(visible[i].message, shown[i].message);
        EXPECT_EQ(visible[i].infoFlags, shown[i].infoFlags);
        EXPECT_EQ(visible[i].icon, shown[i].icon);
    }

    // Balloons hidden: nothing reaches the shell, but every notice still
    // loads its severity icon in turn, and the last one is kept.
    ASSERT_TRUE(SendSessionChange(path, WTS_SESSION_LOCK));
    size_t iconsBefore = LoadedIcons(ReadTrayRecord(path.recordPath)).size();
    const int kHidden = 250;
    const int severities[] = {1, 2, 3, 2, 3, 3, 1, 9, 2, 1, 3};
    const int icons[] = {131, 129, 130, 129, 130, 130, 131, 131, 129, 131, 130};
    std::vector<int> expectedIcons;
    for (int i = 0; i < kHidden; i++) {
        int pick = (i * 7 + i / 11) % (int)std::size(severities);
        ASSERT_EQ("", PostIntoMailbox(L"#" + std::to_wstring(severities[pick]) + L"hidden notice " + std::to_wstring(i)))
            << "notice " << i;
        expectedIcons.push_back(icons[pick]);
    }
    ASSERT_TRUE(WaitUntil([&] { return LoadedIcons(ReadTrayRecord(path.recordPath)).size() >= iconsBefore + kHidden; }, 30000));
    Sleep(500);
    std::vector<int> loaded = LoadedIcons(ReadTrayRecord(path.recordPath));
    EXPECT_EQ(expectedIcons, std::vector<int>(loaded.begin() + std::min(iconsBefore, loaded.size()), loaded.end()));
    EXPECT_EQ(std::size(visible), ShownAfterProbes(path).size()) << "nothing shown while locked";

    ASSERT_TRUE(SendSessionChange(path, WTS_SESSION_UNLOCK));
    shown = ShownAfterProbes(path);
    ASSERT_EQ(std::size(visible) + 1, shown.size());
    EXPECT_EQ(L"ADD", shown.back().operation);
    int lastPick = ((kHidden - 1) * 7 + (kHidden - 1) / 11) % (int)std::size(severities);
    EXPECT_EQ(L"hidden notice " + std::to_wstring(kHidden - 1), shown.back().message);
    EXPECT_EQ(icons[lastPick], shown.back().icon);

    ASSERT_EQ("", PostIntoMailbox(L"#1Terminate Arvexa"));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(path.trayNotifier, 15000));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(path.notifierServer, 15000));
    DWORD trayExit = STILL_ACTIVE;
    GetExitCodeProcess(path.trayNotifier, &trayExit);
    EXPECT_EQ(0u, trayExit);
    for (const ShownNotice& notice : ShownNotices(ReadTrayRecord(path.recordPath)))
        EXPECT_EQ(std::wstring::npos, notice.message.find(L"Arvexa")) << "control notices are never shown";
}

}  // namespace
