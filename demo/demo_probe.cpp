// Shows, for the demo, what the deliverables publish through kernel objects
// and windows:
//   demo_probe record     the server status record ("<state> <run flag>")
//   demo_probe watch      keeps the record open and prints every change of
//                         it until it says "Stop" (at most a minute)
//   demo_probe balloons   the text of every visible balloon, one per line
// Exits with 1 when there is nothing to show.
#include <windows.h>

#include <commctrl.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

static const DWORD WATCH_LIMIT_MS = 60000;

struct ServerRecordView {
    WCHAR state[64];
    DWORD runFlag;
};

static HANDLE OpenServerRecord(void)
{
    HANDLE section = OpenFileMappingW(FILE_MAP_READ, FALSE, L"Global\\ArvexaFileMappingObject");
    if (section == NULL)
        wprintf(L"no server status record\n");
    return section;
}

static BOOL ReadServerRecord(HANDLE section, ServerRecordView* record)
{
    const BYTE* view = (const BYTE*)MapViewOfFile(section, FILE_MAP_READ, 0, 0, 132);
    if (view == NULL)
        return FALSE;
    memcpy(record, view, sizeof(*record));
    record->state[63] = L'\0';
    UnmapViewOfFile(view);
    return TRUE;
}

static void PrintServerRecord(const ServerRecordView* record)
{
    wprintf(L"server status record: state \"%ls\", run flag %lu\n", record->state,
            (unsigned long)record->runFlag);
    fflush(stdout);
}

static int ShowServerRecord(void)
{
    HANDLE section = OpenServerRecord();
    ServerRecordView record;
    if (section == NULL || !ReadServerRecord(section, &record))
        return 1;
    PrintServerRecord(&record);
    CloseHandle(section);
    return 0;
}

static int WatchServerRecord(void)
{
    HANDLE section = OpenServerRecord();
    if (section == NULL)
        return 1;
    ServerRecordView last;
    ZeroMemory(&last, sizeof(last));
    DWORD start = GetTickCount();
    while (GetTickCount() - start < WATCH_LIMIT_MS) {
        ServerRecordView record;
        if (ReadServerRecord(section, &record) && memcmp(&record, &last, sizeof(record)) != 0) {
            PrintServerRecord(&record);
            last = record;
            if (wcscmp(record.state, L"Stop") == 0) {
                CloseHandle(section);
                return 0;
            }
        }
        Sleep(50);
    }
    CloseHandle(section);
    return 1;
}

static BOOL CALLBACK PrintBalloon(HWND window, LPARAM found)
{
    WCHAR className[64];
    GetClassNameW(window, className, 64);
    if (wcscmp(className, TOOLTIPS_CLASSW) != 0 || !IsWindowVisible(window))
        return TRUE;
    if ((GetWindowLongW(window, GWL_STYLE) & TTS_BALLOON) == 0)
        return TRUE;
    WCHAR text[512] = {0};
    GetWindowTextW(window, text, 512);
    wprintf(L"%ls\n", text);
    *(int*)found += 1;
    return TRUE;
}

static int ShowBalloons(void)
{
    int found = 0;
    EnumWindows(PrintBalloon, (LPARAM)&found);
    return found > 0 ? 0 : 1;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc == 2 && wcscmp(argv[1], L"record") == 0)
        return ShowServerRecord();
    if (argc == 2 && wcscmp(argv[1], L"watch") == 0)
        return WatchServerRecord();
    if (argc == 2 && wcscmp(argv[1], L"balloons") == 0)
        return ShowBalloons();
    fwprintf(stderr, L"usage: demo_probe record | watch | balloons\n");
    return 2;
}
