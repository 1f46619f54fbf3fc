#include "mailbox_writer.h"

#include <string.h>
#include <wchar.h>

static const WCHAR MAILBOX_MAPPING_NAME[] = L"Global\\EventFileMappingObject";
static const WCHAR MAILBOX_MUTEX_NAME[] = L"Global\\EventNotificationMutex";
static const DWORD MAILBOX_BYTES = 60004;
static const DWORD SLOT_BYTES = 600;
static const LONG LAST_SLOT = 99;
static const DWORD FULL_MAILBOX_PAUSE_MS = 20;

BOOL CreateMailbox(void)
{
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, MAILBOX_BYTES,
                                        MAILBOX_MAPPING_NAME);
    HANDLE mutex = CreateMutexW(NULL, FALSE, MAILBOX_MUTEX_NAME);
    return mapping != NULL && mutex != NULL;
}

// FALSE when the mailbox is full. A negative count means empty to the reader.
static BOOL AppendToBlock(BYTE* block, const WCHAR* text, size_t units)
{
    LONG count;
    memcpy(&count, block, sizeof(count));
    if (count < 0)
        count = 0;
    if (count >= LAST_SLOT)
        return FALSE;
    count++;
    BYTE* slot = block + sizeof(count) + SLOT_BYTES * count;
    ZeroMemory(slot, SLOT_BYTES);
    memcpy(slot, text, units * sizeof(WCHAR));
    memcpy(block, &count, sizeof(count));
    return TRUE;
}

static PostResult AppendWhenRoom(BYTE* block, HANDLE mutex, const WCHAR* text, DWORD waitMs)
{
    size_t units = wcslen(text);
    DWORD start = GetTickCount();
    for (;;) {
        DWORD wait = WaitForSingleObject(mutex, INFINITE);
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED)
            return POST_NO_MAILBOX;
        BOOL appended = AppendToBlock(block, text, units);
        ReleaseMutex(mutex);
        if (appended)
            return POST_DONE;
        if (waitMs != INFINITE && GetTickCount() - start >= waitMs)
            return POST_TIMED_OUT;
        Sleep(FULL_MAILBOX_PAUSE_MS);
    }
}

PostResult PostNotice(const WCHAR* text, DWORD waitMs)
{
    if (wcslen(text) > NOTICE_MAX_UNITS)
        return POST_TOO_LONG;
    HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, MAILBOX_MAPPING_NAME);
    HANDLE mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, MAILBOX_MUTEX_NAME);
    BYTE* block = mapping != NULL ? (BYTE*)MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, MAILBOX_BYTES)
                                  : NULL;
    PostResult result = block != NULL && mutex != NULL ? AppendWhenRoom(block, mutex, text, waitMs)
                                                       : POST_NO_MAILBOX;
    if (block != NULL)
        UnmapViewOfFile(block);
    if (mutex != NULL)
        CloseHandle(mutex);
    if (mapping != NULL)
        CloseHandle(mapping);
    return result;
}

const char* PostFailureText(PostResult result)
{
    switch (result) {
    case POST_DONE:
        return "";
    case POST_TOO_LONG:
        return "the notice is longer than a mailbox slot holds";
    case POST_NO_MAILBOX:
        return "there is no event mailbox";
    default:
        return "the mailbox stayed full";
    }
}
