// The extension agent's entry points: discovery at load, initialisation by
// the SNMP service, one request at a time under the inventory lock, and
// the orderly close.
#include <windows.h>
#include <snmp.h>

#include "agent_state.h"
#include "inventory/inventory_cache.h"
#include "inventory/reply_fields.h"
#include "mib/mib_registry.h"
#include "mib/variable_resolution.h"
#include "traps.h"

#define TRAP_DRAIN_EVENT_NAME "_ReaderReading"

CRITICAL_SECTION g_inventoryLock;
BOOL g_discovered = FALSE;
int g_discoveryStatus = 1;

CRITICAL_SECTION g_trapLock;
DWORD g_uptimeReference = 0;
HANDLE g_trapEvent = NULL;
HANDLE g_trapDrainEvent = NULL;
HANDLE g_stopEvent = NULL;

static BOOL g_inventoryLockCreated = FALSE;

static void BuildInitialisationBlock(BYTE* block)
{
    ZeroMemory(block, I2_INIT_BLOCK_BYTES);
    WriteRequestU32(block, 8, 0xBABA0001);
    block[12] = 1;
    WriteRequestU32(block, 16, 60);
}

BOOL AttemptDiscovery()
{
    BYTE block[I2_INIT_BLOCK_BYTES];
    BuildInitialisationBlock(block);
    i2_initialize(block);
    if (i2_discover(1) == 0) {
        g_discovered = TRUE;
        g_discoveryStatus = 7;
        return TRUE;
    }
    g_discoveryStatus = 1;
    return FALSE;
}

// While discovery keeps failing, every new thread of the service process
// brings another attempt.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH && reason != DLL_THREAD_ATTACH)
        return TRUE;
    if (!g_inventoryLockCreated) {
        InitializeCriticalSection(&g_inventoryLock);
        g_inventoryLockCreated = TRUE;
    }
    if (!g_discovered && AttemptDiscovery())
        RefreshInventory();
    return TRUE;
}

extern "C" BOOL WINAPI SnmpExtensionInit(DWORD uptimeReference, HANDLE* trapEvent,
                                         AsnObjectIdentifier* firstSupportedRegion)
{
    if (!g_discovered) {
        if (!AttemptDiscovery())
            return FALSE;
        RefreshInventory();
    }
    g_uptimeReference = uptimeReference;
    g_trapEvent = CreateEventA(NULL, FALSE /* bManualReset */, FALSE /* bInitialState */, NULL);
    *trapEvent = g_trapEvent;
    *firstSupportedRegion = ViewPrefix();
    InitializeCriticalSection(&g_trapLock);
    g_trapDrainEvent = CreateEventA(NULL, TRUE /* bManualReset */, FALSE /* bInitialState */, TRAP_DRAIN_EVENT_NAME);
    g_stopEvent = CreateEventA(NULL, TRUE /* bManualReset */, FALSE /* bInitialState */, NULL);
    // Without its events the poller could neither pause nor stop: the
    // agent then answers requests and raises no traps.
    if (g_trapEvent != NULL && g_trapDrainEvent != NULL && g_stopEvent != NULL)
        StartEventPoller();
    return TRUE;
}

extern "C" BOOL WINAPI SnmpExtensionQuery(BYTE requestType, SnmpVarBindList* bindings, AsnInteger32* errorStatus,
                                          AsnInteger32* errorIndex)
{
    EnterCriticalSection(&g_inventoryLock);
    ResolveVariableBindings(requestType, bindings, errorStatus, errorIndex);
    LeaveCriticalSection(&g_inventoryLock);
    return TRUE;
}

extern "C" BOOL WINAPI SnmpExtensionTrap(AsnObjectIdentifier* enterprise, AsnInteger32* genericTrap,
                                         AsnInteger32* specificTrap, AsnTimeticks* timeStamp,
                                         SnmpVarBindList* bindings)
{
    return BuildNextTrap(enterprise, genericTrap, specificTrap, timeStamp, bindings);
}

static void CloseEvent(HANDLE* event)
{
    if (*event != NULL)
        CloseHandle(*event);
    *event = NULL;
}

// A poller that has not ended within its time still uses the events, the
// storage library and the inventory lock: they are left to it.
extern "C" void WINAPI SnmpExtensionClose()
{
    if (!StopEventPoller())
        return;
    CloseEvent(&g_stopEvent);
    CloseEvent(&g_trapEvent);
    CloseEvent(&g_trapDrainEvent);
    i2_finalize();
    DeleteCriticalSection(&g_inventoryLock);
}
