#pragma once
// The entry handlers bound to the registry's entries.
#include "mib_registry.h"

AsnInteger32 HandleScalar(BYTE requestType, MibEntry* entry, SnmpVarBind* binding);
AsnInteger32 HandleControllerTable(BYTE requestType, MibEntry* entry, SnmpVarBind* binding);
AsnInteger32 HandleDriveTable(BYTE requestType, MibEntry* entry, SnmpVarBind* binding);
AsnInteger32 HandleBatteryTable(BYTE requestType, MibEntry* entry, SnmpVarBind* binding);
AsnInteger32 HandleExtentTable(BYTE requestType, MibEntry* entry, SnmpVarBind* binding);
AsnInteger32 HandleLogicalDriveTable(BYTE requestType, MibEntry* entry, SnmpVarBind* binding);
AsnInteger32 HandleEnclosureTable(BYTE requestType, MibEntry* entry, SnmpVarBind* binding);
