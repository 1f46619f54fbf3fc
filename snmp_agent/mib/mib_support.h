#pragma once
// Small routines every handler shares: SNMP order of names, building a
// binding's name from an entry, and the values handed to the SNMP service.
#include "mib_registry.h"

// Arc by arc as unsigned numbers; a proper prefix sorts first.
int CompareOids(const UINT* left, UINT leftLength, const UINT* right, UINT rightLength);

// Where a binding's name lies against an entry's OID F.
enum NamePlace {
    NAME_BEFORE_ENTRY,   // sorts before F
    NAME_IS_ENTRY,       // equals F
    NAME_BELOW_ENTRY,    // F is a proper prefix of the name
    NAME_AFTER_ENTRY,    // sorts after F and everything below it
};
NamePlace PlaceNameAgainstEntry(const AsnObjectIdentifier* name, const MibEntry* entry);

// The arc that follows the entry's OID in a name below it.
UINT ArcBelowEntry(const AsnObjectIdentifier* name, const MibEntry* entry);
// TRUE when the name is the entry's OID followed by exactly one arc.
BOOL NameIsOneArcBelowEntry(const AsnObjectIdentifier* name, const MibEntry* entry);

// Sets the binding's name to the entry's OID, followed by the row arc when
// withRow is set. Returns SNMP_ERRORSTATUS_GENERR when it cannot allocate.
AsnInteger32 SetBindingNameToEntry(SnmpVarBind* binding, const MibEntry* entry, BOOL withRow, UINT row);
// The view prefix with its last arc increased: the end of the agent's region.
AsnInteger32 SetBindingNameToEndOfRegion(SnmpVarBind* binding);

// Replaces the value by a copy of the text without its NUL, owned by the
// SNMP service. The caller sets the value's type.
AsnInteger32 SetTextValue(AsnAny* value, const char* text);
// Frees what the value holds and leaves it NULL.
void ClearValue(AsnAny* value);

// Writes count sub-identifiers as little-endian bytes, four per arc.
void CopyArcs(const UINT* source, BYTE* destination, UINT count);
