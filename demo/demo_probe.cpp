// Shows, for the demo, what the deliverables publish through kernel objects
// and windows:
//   demo_probe record     the server status record ("<state> <run flag>")
//   demo_probe watch      keeps the record open and prints every change of
//                         it until it says "Stop" (at most ten minutes)
//   demo_probe balloons   the text of every visible balloon, one per line
//   demo_probe running EXE  whether a process runs that file (by name)
// Exits with 1 when there is nothing to show.
#include <windows.h>

#include <commctrl.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

static const DWORD WATCH_LIMIT_MS = 600000;

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

// A balloon belongs to the shell's process; its text is read through
// memory allocated in that process, where the tooltip control writes it.
static void PrintBalloonText(HWND balloon)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(balloon, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process == NULL)
        return;
    const SIZE_T textUnits = 512;
    BYTE* remote = (BYTE*)VirtualAllocEx(process, NULL, sizeof(TOOLINFOW) + textUnits * sizeof(WCHAR),
                                         MEM_COMMIT, PAGE_READWRITE);
    if (remote != NULL) {
        TOOLINFOW tool;
        ZeroMemory(&tool, sizeof(tool));
        tool.cbSize = sizeof(tool);
        tool.lpszText = (LPWSTR)(remote + sizeof(TOOLINFOW));
        WriteProcessMemory(process, remote, &tool, sizeof(tool), NULL);
        WCHAR text[512] = {0};
        if (SendMessageW(balloon, TTM_ENUMTOOLSW, 0, (LPARAM)remote)) {
            SendMessageW(balloon, TTM_GETTEXTW, textUnits, (LPARAM)remote);
            ReadProcessMemory(process, remote + sizeof(TOOLINFOW), text, sizeof(text) - sizeof(WCHAR), NULL);
        }
        wprintf(L"balloon: \"%ls\"\n", text);
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
}

static BOOL CALLBACK PrintBalloon(HWND window, LPARAM found)
{
    WCHAR className[64];
    GetClassNameW(window, className, 64);
    if (wcscmp(className, TOOLTIPS_CLASSW) != 0 || !IsWindowVisible(window))
        return TRUE;
    if ((GetWindowLongW(window, GWL_STYLE) & TTS_BALLOON) == 0)
        return TRUE;
    PrintBalloonText(window);
    *(int*)found += 1;
    return TRUE;
}

static int ShowBalloons(void)
{
    int found = 0;
    EnumWindows(PrintBalloon, (LPARAM)&found);
    return found > 0 ? 0 : 1;
}

static int ShowRunning(const WCHAR* exeName)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 2;
    int found = 0;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (_wcsicmp(entry.szExeFile, exeName) == 0) {
            wprintf(L"%ls runs as process %lu\n", entry.szExeFile, (unsigned long)entry.th32ProcessID);
            found++;
        }
    CloseHandle(snapshot);
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
    if (argc == 3 && wcscmp(argv[1], L"running") == 0)
        return ShowRunning(argv[2]);
    fwprintf(stderr, L"usage: demo_probe record | watch | balloons | running EXE\n");
    return 2;
}
