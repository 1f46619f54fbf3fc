#pragma once
// Agent-wide state shared by the entry points, the inventory refresh and
// the scalar values of the MIB.
#include <windows.h>

// Held by a whole request and by the refresh while it publishes.
extern CRITICAL_SECTION g_inventoryLock;
// Set by the first successful discovery attempt, never cleared.
extern BOOL g_discovered;
// 1 until a discovery attempt succeeds, 7 from then on.
extern int g_discoveryStatus;

// Brings up the storage library and asks it to discover the controllers.
BOOL AttemptDiscovery();
