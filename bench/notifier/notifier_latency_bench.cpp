// Time from a notice being posted into the management-server stand-in's
// mailbox, as the management server posts it, to its arrival at the session
// pipe through the real NotiTrayServer.exe. Run it in a Wine session:
//   cmake/wine-session.sh bash -c '"$ARVEXA_WINE_LOADER" build/win64/bin/notifier_latency_bench.exe'
// It copies itself into the system directory as NotiTrayClient.exe; started
// there by the notifier server with a pipe name, it serves that pipe and
// stamps each notice's arrival into a shared table.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mailbox_writer.h"
#include "test_support.h"

namespace {

const int kNotices = 300;
const DWORD kDrainCycleMs = 200;
const wchar_t kArrivalsName[] = L"Local\\NotifierLatencyArrivals";

struct Arrivals {
    LONG connected;
    LONGLONG stamp[kNotices + 1];  // by the number in "#1bench <n>"
};

Arrivals* MapArrivals(bool create)
{
    HANDLE section = create ? CreateFileMappingW(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                                 sizeof(Arrivals), kArrivalsName)
                            : OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, kArrivalsName);
    return section == NULL ? nullptr
                           : (Arrivals*)MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Arrivals));
}

LONGLONG Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// The tray notifier's part: one connection, stamp every notice, end on terminate.
int ServePipe(const wchar_t* pipeName)
{
    Arrivals* arrivals = MapArrivals(false);
    if (arrivals == nullptr)
        return 1;
    HANDLE pipe = CreateNamedPipeW(pipeName, PIPE_ACCESS_DUPLEX,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                   PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, NULL);
    if (pipe == INVALID_HANDLE_VALUE)
        return 1;
    ConnectNamedPipe(pipe, NULL);
    InterlockedExchange(&arrivals->connected, 1);
    wchar_t buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer) - sizeof(wchar_t), &got, NULL) && got > 0) {
        LONGLONG arrived = Now();
        buffer[got / sizeof(wchar_t)] = L'\0';
        int number = 0;
        if (swscanf(buffer, L"#1bench %d", &number) == 1 && number >= 1 && number <= kNotices)
            arrivals->stamp[number] = arrived;
        if (_wcsicmp(buffer, L"#1Terminate Arvexa") == 0)
            break;
    }
    return 0;
}

bool WaitForStamp(volatile LONGLONG* stamp, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (*stamp == 0) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(1);
    }
    return true;
}

int Measure()
{
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(NULL, self, MAX_PATH);
    if (!CopyFileW(self, (std::wstring(system) + L"\\NotiTrayClient.exe").c_str(), FALSE)) {
        fprintf(stderr, "cannot place the pipe end in the system directory\n");
        return 1;
    }
    Arrivals* arrivals = MapArrivals(true);
    ServerStatusRecord record = PublishServerStatusRecord();
    HANDLE server = StartProgram(L"\"" + TestBinDirectory() + L"\\Arvexa.exe\"");
    if (arrivals == nullptr || server == NULL ||
        !WaitUntil([] {
            HANDLE mailbox = OpenFileMappingW(FILE_MAP_READ, FALSE, L"Global\\EventFileMappingObject");
            if (mailbox != NULL)
                CloseHandle(mailbox);
            return mailbox != NULL;
        }, 10000)) {
        fprintf(stderr, "the management-server stand-in did not start\n");
        return 1;
    }
    HANDLE notifier = StartProgram(L"\"" + TestBinDirectory() + L"\\NotiTrayServer.exe\"");
    if (notifier == NULL || !WaitUntil([&] { return arrivals->connected != 0; }, 10000)) {
        fprintf(stderr, "the notifier server did not connect\n");
        return 1;
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> latencies;
    // A pause of its own before each notice, so that posts do not lock step
    // with the drain cycle and the figures cover every phase of it.
    srand(1540);
    for (int n = 1; n <= kNotices; n++) {
        Sleep((DWORD)(rand() % kDrainCycleMs));
        PostResult posted = PostNotice((L"#1bench " + std::to_wstring(n)).c_str(), 30000);
        if (posted != POST_DONE) {
            fprintf(stderr, "notice %d was not posted: %s\n", n, PostFailureText(posted));
            break;
        }
        LONGLONG postedAt = Now();
        if (!WaitForStamp(&arrivals->stamp[n], 5000)) {
            fprintf(stderr, "notice %d did not arrive within 5 s\n", n);
            break;
        }
        latencies.push_back((double)(arrivals->stamp[n] - postedAt) * 1000.0 / (double)frequency.QuadPart);
    }
    WriteServerStatus(record, L"Stop", 0);
    WaitForSingleObject(notifier, 10000);
    WaitForSingleObject(server, 10000);
    if (latencies.size() != (size_t)kNotices) {
        fprintf(stderr, "only %u of %d notices arrived\n", (unsigned)latencies.size(), kNotices);
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    double median = latencies[latencies.size() / 2];
    double worst = latencies.back();
    printf("notice latency, posted into the mailbox -> arrived at the session pipe, %d notices\n", kNotices);
    printf("  median %.1f ms, worst %.1f ms\n", median, worst);
    printf("  against the %lu ms drain cycle: median %.2f, worst %.2f\n", kDrainCycleMs,
           median / kDrainCycleMs, worst / kDrainCycleMs);
    return 0;
}

}  // namespace

int wmain()
{
    const wchar_t* commandLine = GetCommandLineW();
    if (wcsncmp(commandLine, L"\\\\.\\pipe\\", 9) == 0)
        return ServePipe(commandLine);
    return Measure();
}
