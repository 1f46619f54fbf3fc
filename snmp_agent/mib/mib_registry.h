#pragma once
// The agent's private MIB: one ordered table of entries under the view
// prefix 1.3.6.1.4.1.32473, each bound to the handler that serves it.
#include <windows.h>
#include <snmp.h>

#define MIB_ENTRY_COUNT 116
#define MIB_MAX_SUFFIX_ARCS 6
#define VIEW_PREFIX_ARCS 7

#define MIB_ACCESS_READ_ONLY 0
#define MIB_ACCESS_WRITE_ONLY 1
#define MIB_ACCESS_READ_WRITE 2

struct MibEntry;

// Answers one binding resolved to entry; rewrites its name and value.
typedef AsnInteger32 (*MibEntryHandler)(BYTE requestType, MibEntry* entry, SnmpVarBind* binding);

struct MibEntry {
    UINT suffixLength;
    UINT suffix[MIB_MAX_SUFFIX_ARCS];
    void* storage;
    int number;
    BYTE asnType;
    UINT access;
    MibEntryHandler handler;
    MibEntry* successor;
};

extern MibEntry g_mibRegistry[MIB_ENTRY_COUNT];
extern UINT g_viewPrefixArcs[VIEW_PREFIX_ARCS];

// Entry numbers 6-32, 35-61, 64-68, 71-82, 85-103 and 106-115.
BOOL IsColumnEntry(int entryNumber);

// Column 2 of the drive table shows drive names from now on.
void ShowDriveNamesInDriveTable();

// The first supported region handed to the SNMP service.
AsnObjectIdentifier ViewPrefix();
