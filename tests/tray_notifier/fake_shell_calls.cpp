#include "fake_shell_calls.h"

#include <mutex>

#include "shell_calls.h"

FakeSystem fakeSystem;

// Pipe readers may call in from several threads.
static std::mutex fakeGuard;

static const char* ShellOperation(DWORD message)
{
    switch (message) {
    case NIM_ADD: return "ADD";
    case NIM_MODIFY: return "MODIFY";
    case NIM_DELETE: return "DELETE";
    default: return "OTHER";
    }
}

HICON FakeIcon(int resourceId)
{
    return (HICON)(INT_PTR)(0x7000 + resourceId);
}

static int FakeIconId(HICON icon)
{
    return (int)((INT_PTR)icon - 0x7000);
}

BOOL NotifyShell(DWORD message, NOTIFYICONDATAW* record)
{
    std::lock_guard<std::mutex> hold(fakeGuard);
    fakeSystem.trail.push_back(std::string("shell ") + ShellOperation(message));
    fakeSystem.shellCalls.push_back({message, *record});
    return fakeSystem.shellResult;
}

BOOL SendSessionMessageBox(DWORD session, WCHAR* title, DWORD titleBytes, WCHAR* message,
                           DWORD messageBytes, DWORD style, DWORD timeoutSeconds, DWORD*, BOOL wait)
{
    std::lock_guard<std::mutex> hold(fakeGuard);
    fakeSystem.trail.push_back("popup");
    fakeSystem.popups.push_back(
        {session, title, titleBytes, message, messageBytes, style, timeoutSeconds, wait});
    return FALSE;
}

BOOL EnumerateSessions(WTS_SESSION_INFOW** sessions, DWORD* count)
{
    std::lock_guard<std::mutex> hold(fakeGuard);
    fakeSystem.trail.push_back("sessions");
    if (fakeSystem.enumerationFails)
        return FALSE;
    size_t n = fakeSystem.sessions.size();
    WTS_SESSION_INFOW* list = new WTS_SESSION_INFOW[n + 1];
    for (size_t i = 0; i < n; i++) {
        list[i].SessionId = fakeSystem.sessions[i].id;
        list[i].State = fakeSystem.sessions[i].state;
        list[i].pWinStationName = const_cast<WCHAR*>(fakeSystem.sessions[i].station.c_str());
    }
    fakeSystem.listsHandedOut++;
    *sessions = list;
    *count = (DWORD)n;
    return TRUE;
}

void FreeSessionList(WTS_SESSION_INFOW* sessions)
{
    std::lock_guard<std::mutex> hold(fakeGuard);
    fakeSystem.listsFreed++;
    delete[] sessions;
}

HICON LoadSeverityIcon(int resourceId)
{
    std::lock_guard<std::mutex> hold(fakeGuard);
    fakeSystem.trail.push_back("icon-load " + std::to_string(resourceId));
    return FakeIcon(resourceId);
}

BOOL DestroySeverityIcon(HICON icon)
{
    std::lock_guard<std::mutex> hold(fakeGuard);
    fakeSystem.trail.push_back("icon-destroy " + std::to_string(FakeIconId(icon)));
    return TRUE;
}

void PauseForBalloon(DWORD milliseconds)
{
    std::function<void()> duringPause;
    {
        std::lock_guard<std::mutex> hold(fakeGuard);
        fakeSystem.trail.push_back("pause " + std::to_string(milliseconds));
        duringPause = fakeSystem.duringPause;
    }
    if (duringPause)
        duringPause();
}
