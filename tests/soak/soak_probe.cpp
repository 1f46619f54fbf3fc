// Figures of running programs for the soak, found by their image names:
//   soak_probe NAME...
// prints one line per process with that name,
//   NAME PID HANDLES PRIVATE_BYTES
// and "NAME - - -" for a name with no process. Exits with 1 when the figures
// of a process that runs could not be read.
//
// Wine answers GetProcessHandleCount with 0 and leaves PrivateUsage unset;
// a running process always holds handles, so a 0 is taken as "not told" and
// the handles are counted in the system's handle list instead, and the
// private memory is read from PagefileUsage, which Windows defines as the
// same commit charge.
#include <windows.h>

#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <tlhelp32.h>
#include <wchar.h>
#include <winternl.h>

static const ULONG SYSTEM_HANDLE_INFORMATION_CLASS = 16;

struct SystemHandleEntry {
    ULONG ownerProcessId;
    BYTE objectType;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

struct SystemHandleList {
    ULONG count;
    SystemHandleEntry entries[1];
};

typedef NTSTATUS(NTAPI* QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);

// Handles of the process in the system's handle list; 0 when it cannot be read.
static DWORD CountHandlesInSystemList(DWORD processId)
{
    QuerySystemInformation query = (QuerySystemInformation)(void*)GetProcAddress(
        GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation");
    if (query == NULL)
        return 0;
    ULONG size = 1 << 20;
    for (int attempt = 0; attempt < 6; attempt++, size *= 2) {
        SystemHandleList* list = (SystemHandleList*)malloc(size);
        if (list == NULL)
            return 0;
        ULONG needed = 0;
        NTSTATUS status = query(SYSTEM_HANDLE_INFORMATION_CLASS, list, size, &needed);
        if (status == 0) {
            DWORD handles = 0;
            for (ULONG i = 0; i < list->count; i++)
                if (list->entries[i].ownerProcessId == processId)
                    handles++;
            free(list);
            return handles;
        }
        free(list);
    }
    return 0;
}

static BOOL PrintProcessFigures(const WCHAR* name, DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (process == NULL) {
        wprintf(L"%ls %lu ? ?\n", name, (unsigned long)processId);
        return FALSE;
    }
    DWORD handles = 0;
    PROCESS_MEMORY_COUNTERS_EX memory;
    ZeroMemory(&memory, sizeof(memory));
    memory.cb = sizeof(memory);
    BOOL read = GetProcessHandleCount(process, &handles)
        && GetProcessMemoryInfo(process, (PROCESS_MEMORY_COUNTERS*)&memory, sizeof(memory));
    CloseHandle(process);
    if (read && handles == 0)
        handles = CountHandlesInSystemList(processId);
    if (read && memory.PrivateUsage == 0)
        memory.PrivateUsage = memory.PagefileUsage;
    if (!read || handles == 0 || memory.PrivateUsage == 0) {
        wprintf(L"%ls %lu ? ?\n", name, (unsigned long)processId);
        return FALSE;
    }
    wprintf(L"%ls %lu %lu %llu\n", name, (unsigned long)processId, (unsigned long)handles,
            (unsigned long long)memory.PrivateUsage);
    return TRUE;
}

static BOOL PrintFiguresOfName(const WCHAR* name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return FALSE;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof(entry);
    BOOL allRead = TRUE;
    BOOL found = FALSE;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, name) != 0)
            continue;
        found = TRUE;
        if (!PrintProcessFigures(name, entry.th32ProcessID))
            allRead = FALSE;
    }
    CloseHandle(snapshot);
    if (!found)
        wprintf(L"%ls - - -\n", name);
    return allRead;
}

int wmain(int argc, wchar_t** argv)
{
    int status = 0;
    for (int i = 1; i < argc; i++)
        if (!PrintFiguresOfName(argv[i]))
            status = 1;
    fflush(stdout);
    return status;
}
