// The event poller: once a second it asks one controller for new events,
// the controllers in turn; when some arrive it refreshes the inventory,
// signals the SNMP service and waits until the service has collected them.
#include <windows.h>

#include "inventory/inventory_cache.h"
#include "inventory/reply_fields.h"
#include "trap_state.h"
#include "traps.h"

#define POLL_WAIT_MS 1000
#define IDLE_CYCLES_PER_REFRESH 60
#define EVENTS_ASKED_FOR 10
#define POLLER_STOP_WAIT_MS 7000

BYTE g_eventBuffer[I2_EVENT_LIST_BYTES];
volatile LONG g_pendingEventCount = 0;
LONG g_trapIndex = 0;
DWORD g_controllerCursor = 0;

static HANDLE g_eventPoller = NULL;

// The fault guard of the event request: a fault inside the storage library
// on the poller thread resumes at the recovery point instead of ending the
// SNMP service's process.
static void* g_recoveryPoint[5];
static volatile DWORD g_guardedThreadId = 0;
static volatile BOOL g_pollerHoldsTrapLock = FALSE;
static PVOID g_faultHandler = NULL;

static const DWORD g_caughtFaults[] = {
    EXCEPTION_ACCESS_VIOLATION,      EXCEPTION_IN_PAGE_ERROR,       EXCEPTION_ILLEGAL_INSTRUCTION,
    EXCEPTION_PRIV_INSTRUCTION,      EXCEPTION_INT_DIVIDE_BY_ZERO,  EXCEPTION_INT_OVERFLOW,
    EXCEPTION_DATATYPE_MISALIGNMENT, EXCEPTION_ARRAY_BOUNDS_EXCEEDED,
};

static BOOL IsCaughtFault(DWORD code)
{
    for (size_t k = 0; k < sizeof(g_caughtFaults) / sizeof(g_caughtFaults[0]); k++)
        if (g_caughtFaults[k] == code)
            return TRUE;
    return FALSE;
}

static void __attribute__((noreturn, noinline)) ResumeAfterLibraryFault()
{
    __builtin_longjmp(g_recoveryPoint, 1);
}

// Leaves the faulting code by continuing at ResumeAfterLibraryFault, on a
// fresh piece of the same stack, which then jumps to the recovery point.
static LONG CALLBACK CatchLibraryFault(EXCEPTION_POINTERS* exception)
{
    if (g_guardedThreadId != GetCurrentThreadId() || !IsCaughtFault(exception->ExceptionRecord->ExceptionCode))
        return EXCEPTION_CONTINUE_SEARCH;
    g_guardedThreadId = 0;
    CONTEXT* context = exception->ContextRecord;
#ifdef _WIN64
    context->Rsp = ((context->Rsp - 256) & ~(DWORD64)15) - 8;
    context->Rip = (DWORD64)ResumeAfterLibraryFault;
#else
    context->Esp = ((context->Esp - 256) & ~(DWORD)15) - 4;
    context->Eip = (DWORD)ResumeAfterLibraryFault;
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

// A call that failed wrote neither records nor the reply header, and the
// request's count still holds the 10 asked for: no events then.
static BOOL ReplyWasWritten()
{
    return ReadReplyU32(g_eventBuffer, I2_REPLY_USED_LENGTH_OFFSET) != 0;
}

// Poll-cycle steps from taking the trap lock to releasing it.
static void RequestEvents(BOOL* polling, LONG* delivered)
{
    EnterCriticalSection(&g_trapLock);
    g_pollerHoldsTrapLock = TRUE;
    if (WaitForSingleObject(g_stopEvent, POLL_WAIT_MS) == WAIT_OBJECT_0)
        *polling = FALSE;
    if (g_controllerCursor >= (DWORD)g_inventory.controllerCount)
        g_controllerCursor = 0;
    g_trapIndex = 0;
    g_pendingEventCount = 0;
    ZeroMemory(g_eventBuffer, sizeof(g_eventBuffer));
    BYTE request[8];
    WriteRequestU32(request, 0, (DWORD)-1);
    WriteRequestU32(request, 4, EVENTS_ASKED_FOR);
    i2_getHBAEvents(ControllerAddress(g_controllerCursor & 0xFFFF), 0, request, g_eventBuffer, sizeof(g_eventBuffer));
    g_controllerCursor++;
    g_pollerHoldsTrapLock = FALSE;
    LeaveCriticalSection(&g_trapLock);
    *delivered = ReplyWasWritten() ? (LONG)ReadReplyU32(request, 4) : 0;
}

// FALSE when the storage library faulted; the trap lock is free again.
static BOOL __attribute__((noinline)) RequestEventsUnderGuard(BOOL* polling, LONG* delivered)
{
    if (__builtin_setjmp(g_recoveryPoint)) {
        // The next cycle asks the next controller, so that one faulting
        // controller does not silence the others.
        if (g_pollerHoldsTrapLock) {
            g_controllerCursor++;
            g_pollerHoldsTrapLock = FALSE;
            LeaveCriticalSection(&g_trapLock);
        }
        return FALSE;
    }
    g_guardedThreadId = GetCurrentThreadId();
    RequestEvents(polling, delivered);
    g_guardedThreadId = 0;
    return TRUE;
}

// The buffer holds 40 records; a negative count is no events.
static LONG ClampEventCount(LONG delivered)
{
    if (delivered < 0)
        return 0;
    return delivered < (LONG)EVENT_RECORDS_IN_BUFFER ? delivered : (LONG)EVENT_RECORDS_IN_BUFFER;
}

// A drain signal left over from an earlier call does not count for these
// events; the stop event ends the wait as well, since the SNMP service no
// longer collects traps while it closes the agent.
static void HandOverEvents()
{
    ResetEvent(g_trapDrainEvent);
    SetEvent(g_trapEvent);
    HANDLE ends[2] = {g_trapDrainEvent, g_stopEvent};
    WaitForMultipleObjects(2, ends, FALSE /* bWaitAll */, INFINITE);
    ResetEvent(g_trapDrainEvent);
}

static DWORD WINAPI RunEventPoller(LPVOID)
{
    BOOL polling = TRUE;
    int idleCycles = 0;
    while (polling) {
        LONG delivered = 0;
        if (!RequestEventsUnderGuard(&polling, &delivered)) {
            Sleep(0);
            continue;
        }
        g_pendingEventCount = ClampEventCount(delivered);
        if (g_pendingEventCount != 0) {
            RefreshInventory();
            HandOverEvents();
        } else if (idleCycles >= IDLE_CYCLES_PER_REFRESH) {
            RefreshInventory();
            idleCycles = 0;
        }
        idleCycles++;
    }
    return 0;
}

void StartEventPoller()
{
    g_faultHandler = AddVectoredExceptionHandler(1 /* FirstHandler */, CatchLibraryFault);
    g_eventPoller = CreateThread(NULL, 0, RunEventPoller, NULL, 0, NULL);
}

BOOL StopEventPoller()
{
    if (g_eventPoller == NULL)
        return TRUE;
    SetEvent(g_stopEvent);
    BOOL ended = WaitForSingleObject(g_eventPoller, POLLER_STOP_WAIT_MS) == WAIT_OBJECT_0;
    CloseHandle(g_eventPoller);
    g_eventPoller = NULL;
    if (ended && g_faultHandler != NULL) {
        RemoveVectoredExceptionHandler(g_faultHandler);
        g_faultHandler = NULL;
    }
    return ended;
}
