// Demo driver: posts one notice of each severity along the real notice path
// and tells what the tray notifier showed. A line "SCREENSHOT name" marks a
// moment when a balloon is up; demo/tray-demo.sh takes the picture then.
#include <stdio.h>

#include "notice_path.h"

namespace {

struct DemoNotice {
    const wchar_t* notice;
    const char* screenshot;
};

const DemoNotice kNotices[] = {
    {L"#1Volume 1 on controller 1 is ready", "balloon-information"},
    {L"#2Battery of controller 1 is low", "balloon-warning"},
    {L"#3Array 2 on controller 1 has failed", "balloon-error"},
};

const char* SeverityName(DWORD infoFlags)
{
    switch (infoFlags) {
    case 17: return "an information";
    case 2: return "a warning";
    case 3: return "an error";
    default: return "an other";
    }
}

void Say(const std::string& line)
{
    printf("%s\n", line.c_str());
    fflush(stdout);
}

bool ShowOne(const NoticePath& path, const DemoNotice& demo)
{
    size_t before = ShownAfterProbes(path).size();
    Say("posting " + WideToUtf8(demo.notice));
    std::string failure = PostIntoMailbox(demo.notice);
    if (!failure.empty()) {
        Say("posting failed: " + failure);
        return false;
    }
    if (!WaitUntil([&] { return ShownAfterProbes(path).size() > before; }, 20000))
        return false;
    ShownNotice shown = ShownAfterProbes(path).back();
    Say("  tray notifier showed " + std::string(SeverityName(shown.infoFlags)) + " balloon (info flags " +
        std::to_string(shown.infoFlags) + ", icon " + std::to_string(shown.icon) + "): \"" +
        WideToUtf8(shown.message) + "\"");
    // Wine's tray draws the balloon a moment after the shell call.
    WaitUntil(BalloonVisible, 3000);
    Sleep(300);
    Say(std::string("SCREENSHOT ") + demo.screenshot);
    Sleep(1500);
    return true;
}

void ShowClick(const NoticePath& path)
{
    PostMessageW(path.window, WM_APP, 2, WM_LBUTTONDOWN);
    std::vector<RecordedCall> popups;
    if (!WaitUntil([&] { return !(popups = CallsOfKind(ReadTrayRecord(path.recordPath), "popup")).empty(); }, 10000))
        return;
    const std::vector<std::wstring>& fields = popups.back().fields;
    Say("click on the icon: message box for session " + WideToUtf8(fields[0]) + ", style " +
        WideToUtf8(fields[1]) + ", \"" + WideToUtf8(fields[6]) + "\": \"" + WideToUtf8(fields[7]) + "\"");
}

}  // namespace

int main()
{
    NoticePath path;
    Say("starting the management-server stand-in and NotiTrayServer.exe, which starts the tray notifier");
    Say("(the tray notifier's recording build, installed as NotiTrayClient.exe in the system directory)");
    std::string failure = StartNoticePath(path);
    if (!failure.empty()) {
        Say("demo failed: " + failure);
        StopNoticePath(path);
        return 1;
    }
    bool shownAll = true;
    for (const DemoNotice& demo : kNotices)
        shownAll = ShowOne(path, demo) && shownAll;
    ShowClick(path);
    Say("posting #1Terminate Arvexa");
    PostIntoMailbox(L"#1Terminate Arvexa");
    bool ended = WaitForSingleObject(path.trayNotifier, 15000) == WAIT_OBJECT_0 &&
                 WaitForSingleObject(path.notifierServer, 15000) == WAIT_OBJECT_0;
    Say(ended ? "  tray notifier and notifier server have ended" : "  a program is still running");
    StopNoticePath(path);
    return shownAll && ended ? 0 : 1;
}
