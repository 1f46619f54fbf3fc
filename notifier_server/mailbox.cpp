#include "mailbox.h"

#include <string.h>

#include "notice.h"
#include "session_pipes.h"
#include "session_tracking.h"

static LONG ReadNoticeCount(const BYTE* block)
{
    LONG count;
    memcpy(&count, block, sizeof(count));
    return count;
}

// A slot's text ends at its first NUL or, lacking one, at the end of the slot.
static void CopySlotNotice(const BYTE* block, LONG slot, WCHAR* notice)
{
    memcpy(notice, block + MAILBOX_COUNT_BYTES + MAILBOX_SLOT_BYTES * slot, MAILBOX_SLOT_BYTES);
    notice[MAILBOX_SLOT_UNITS] = L'\0';
}

// Slot 0 is never read, and a count above 99 stops at the last slot there is.
static void RelayWaitingNotices(const BYTE* block)
{
    WCHAR notice[MAILBOX_SLOT_UNITS + 1];
    for (LONG slot = 1; slot <= ReadNoticeCount(block) && slot <= MAILBOX_LAST_SLOT; slot++) {
        CopySlotNotice(block, slot, notice);
        if (IsTerminateNotice(notice)) {
            BroadcastNotice(notice);
            PostMessageW(ServerWindow(), WM_DESTROY, 0, 0);
            return;
        }
        if (!IsStartNotice(notice))
            BroadcastNotice(notice);
    }
}

void DrainMailboxOnce(BYTE* block, HANDLE mutex)
{
    // An abandoned mutex is ours as well; whatever the wait says, drain.
    WaitForSingleObject(mutex, INFINITE);
    RelayWaitingNotices(block);
    // Also drops whatever followed a terminate notice.
    ZeroMemory(block, MAILBOX_BYTES);
    ReleaseMutex(mutex);
}

// Opens the mailbox once; on failure nothing stays open, so a stale mapping
// is not kept alive for the management server's next start.
static DWORD OpenMailbox(HANDLE* mapping, HANDLE* mutex, BYTE** block)
{
    *mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, MAILBOX_MAPPING_NAME);
    if (*mapping == NULL)
        return (DWORD)-1;
    *mutex = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, MAILBOX_MUTEX_NAME);
    if (*mutex == NULL) {
        CloseHandle(*mapping);
        return (DWORD)-1;
    }
    *block = (BYTE*)MapViewOfFile(*mapping, FILE_MAP_ALL_ACCESS, 0, 0, MAILBOX_BYTES);
    if (*block == NULL) {
        CloseHandle(*mutex);
        CloseHandle(*mapping);
        return (DWORD)-2;
    }
    return 0;
}

DWORD WINAPI DrainMailbox(LPVOID unused)
{
    (void)unused;
    HANDLE mapping;
    HANDLE mutex;
    BYTE* block;
    DWORD failure = OpenMailbox(&mapping, &mutex, &block);
    if (failure != 0)
        return failure;
    for (;;) {
        DrainMailboxOnce(block, mutex);
        Sleep(DRAIN_INTERVAL_MS);
    }
}
