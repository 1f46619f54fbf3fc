#pragma once
// Event polling and traps: the event poller thread asks one controller per
// cycle for new events, and the SNMP service collects one trap per event
// through SnmpExtensionTrap.
#include <windows.h>
#include <snmp.h>

// The kernel objects of the hand-shake, created by SnmpExtensionInit.
extern CRITICAL_SECTION g_trapLock;
extern HANDLE g_trapEvent;
extern HANDLE g_trapDrainEvent;
extern HANDLE g_stopEvent;
extern DWORD g_uptimeReference;

// Starts the event poller thread.
void StartEventPoller();
// Sets the stop event and waits at most 7000 ms for the poller to end.
// TRUE when it has ended (or never ran).
BOOL StopEventPoller();

// One trap from the next pending event, or FALSE when none is left (which
// also ends the drain).
BOOL BuildNextTrap(AsnObjectIdentifier* enterprise, AsnInteger32* genericTrap, AsnInteger32* specificTrap,
                   AsnTimeticks* timeStamp, SnmpVarBindList* bindings);

AsnInteger32 SpecificTrapForEvent(DWORD eventCode);
