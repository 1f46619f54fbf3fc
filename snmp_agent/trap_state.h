#pragma once
// What the event poller hands the trap builder: the last event reply and
// how far the SNMP service has collected it. Guarded by the trap lock,
// except the pending count, which the builder first reads without it.
#include <windows.h>

#include "storage_library.h"

#define EVENT_RECORD_BYTES 408
#define EVENT_RECORDS_IN_BUFFER ((I2_EVENT_LIST_BYTES - I2_REPLY_HEADER_BYTES) / EVENT_RECORD_BYTES)
#define EVENT_CODE_OFFSET 12
#define EVENT_DESCRIPTION_OFFSET 84

extern BYTE g_eventBuffer[I2_EVENT_LIST_BYTES];
extern volatile LONG g_pendingEventCount;
extern LONG g_trapIndex;
extern DWORD g_controllerCursor;
