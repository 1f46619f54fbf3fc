#pragma once
#include <windows.h>
#include <snmp.h>

// Answers the bindings in list order under the caller's inventory lock.
// Stops at the first binding that fails, with its 1-based position as the
// error index; an empty list leaves status and index unwritten.
void ResolveVariableBindings(BYTE requestType, SnmpVarBindList* bindings, AsnInteger32* errorStatus,
                             AsnInteger32* errorIndex);
