// Picks the registry entry each binding names. A GETNEXT asks every entry
// whose subtree does not end before the name for its first instance after
// the name, so nodes and empty columns are stepped over and a walk sees
// every instance of the region once, in SNMP order.
#include "variable_resolution.h"

#include "mib_registry.h"
#include "mib_support.h"

static AsnInteger32 ResolveNextInstance(SnmpVarBind* binding)
{
    for (MibEntry* entry = &g_mibRegistry[0]; entry != NULL; entry = entry->successor) {
        if (PlaceNameAgainstEntry(&binding->name, entry) == NAME_AFTER_ENTRY)
            continue;
        AsnInteger32 status = entry->handler(SNMP_PDU_GETNEXT, entry, binding);
        if (status != SNMP_ERRORSTATUS_NOSUCHNAME)
            return status;
    }
    return SNMP_ERRORSTATUS_NOSUCHNAME;
}

// A GET naming a column's own OID answers its first row under the
// extended name.
static AsnInteger32 ResolveNamedInstance(BYTE requestType, SnmpVarBind* binding)
{
    for (MibEntry* entry = &g_mibRegistry[0]; entry != NULL; entry = entry->successor) {
        switch (PlaceNameAgainstEntry(&binding->name, entry)) {
        case NAME_BEFORE_ENTRY:
            return SNMP_ERRORSTATUS_NOSUCHNAME;
        case NAME_IS_ENTRY:
            if (requestType == SNMP_PDU_GET && IsColumnEntry(entry->number)) {
                AsnInteger32 status = SetBindingNameToEntry(binding, entry, TRUE, 1);
                if (status != SNMP_ERRORSTATUS_NOERROR)
                    return status;
            }
            return entry->handler(requestType, entry, binding);
        case NAME_BELOW_ENTRY:
            if (IsColumnEntry(entry->number))
                return entry->handler(requestType, entry, binding);
            break;
        case NAME_AFTER_ENTRY:
            break;
        }
    }
    return SNMP_ERRORSTATUS_NOSUCHNAME;
}

void ResolveVariableBindings(BYTE requestType, SnmpVarBindList* bindings, AsnInteger32* errorStatus,
                             AsnInteger32* errorIndex)
{
    for (UINT k = 0; k < bindings->len; k++) {
        SnmpVarBind* binding = &bindings->list[k];
        AsnInteger32 status = requestType == SNMP_PDU_GETNEXT ? ResolveNextInstance(binding)
                                                              : ResolveNamedInstance(requestType, binding);
        // Past the last instance: a name outside the region ends this
        // agent's part of the walk.
        if (status == SNMP_ERRORSTATUS_NOSUCHNAME && requestType == SNMP_PDU_GETNEXT)
            status = SetBindingNameToEndOfRegion(binding);
        *errorStatus = status;
        if (status != SNMP_ERRORSTATUS_NOERROR) {
            *errorIndex = (AsnInteger32)(k + 1);
            return;
        }
    }
}
