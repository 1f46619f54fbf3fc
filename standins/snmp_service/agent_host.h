#pragma once
// The hosted extension agents: loading and initialising them, the sorted
// table of the MIB regions they serve, one-binding queries in the codec's
// terms, trap collection, and closing them again.
#include <winsock2.h>
#include <windows.h>
#include <snmp.h>

#include "service_settings.h"
#include "snmp_codec.h"

typedef struct AgentRegion {
    SnmpOid prefix;
    int agent;
} AgentRegion;

// Loads and initialises every agent of settings; uptimeReference is the
// service's start tick count. An agent whose initialisation fails is left
// out with a warning; a DLL that cannot be loaded or lacks the entry points
// is a refusal (FALSE, reason in error).
BOOL LoadAgents(const ServiceSettings* settings, DWORD uptimeReference, WCHAR* error, size_t errorChars);

// Calls SnmpExtensionClose of every initialised agent and unloads them.
void CloseAgents(void);

int AgentCount(void);
const WCHAR* AgentPath(int agent);
// The agent's trap event, or NULL when it has none.
HANDLE AgentTrapEvent(int agent);

// Regions in ascending order of their prefixes.
int RegionCount(void);
const AgentRegion* RegionAt(int index);

// Asks agent about one binding. For SET, request carries the value to
// write. On noError, answer holds the binding the agent handed back; its
// bytes live in the answer store until ResetAnswerStore. Statuses are the
// agent's own, plus genErr when its answer cannot be carried on the wire.
AsnInteger32 QueryAgentBinding(int agent, BYTE pduType, const SnmpBinding* request, SnmpBinding* answer);

// Forgets the bytes of all earlier answers; called once per request.
void ResetAnswerStore(void);

typedef struct CollectedTrap {
    SnmpOid enterprise;
    int32_t genericTrap;
    int32_t specificTrap;
    uint32_t timeStamp;
    SnmpBinding* bindings;
    size_t bindingCount;
} CollectedTrap;

// Calls the agent's SnmpExtensionTrap once. TRUE with trap filled (bindings
// stored in the answer store) while the agent hands out traps.
BOOL CollectAgentTrap(int agent, CollectedTrap* trap, SnmpBinding* bindings, size_t capacity);
