#pragma once
// The management server's event mailbox and the drain thread that empties it.
#include <windows.h>

#define MAILBOX_MAPPING_NAME L"Global\\EventFileMappingObject"
#define MAILBOX_MUTEX_NAME L"Global\\EventNotificationMutex"

static const DWORD MAILBOX_BYTES = 60004;
static const DWORD MAILBOX_COUNT_BYTES = 4;
static const DWORD MAILBOX_SLOT_BYTES = 600;
static const DWORD MAILBOX_SLOT_UNITS = MAILBOX_SLOT_BYTES / sizeof(WCHAR);
// Slot 99 ends exactly at the end of the block.
static const LONG MAILBOX_LAST_SLOT = 99;
static const DWORD DRAIN_INTERVAL_MS = 200;

// One drain of a mapped block: relays slots 1 to count in order, then zeroes
// the whole block, all while holding the mailbox mutex.
void DrainMailboxOnce(BYTE* block, HANDLE mutex);

// The drain thread: opens the mailbox once and drains it every 200 ms. It
// returns only when the mailbox cannot be opened: -1 without the mapping or
// the mutex, -2 without a view.
DWORD WINAPI DrainMailbox(LPVOID unused);
