// The four scalars: vendor text, discovery status, first controller model
// and driver version.
#include <string.h>

#include "mib_handlers.h"
#include "mib_support.h"

static AsnInteger32 AnswerScalarValue(MibEntry* entry, SnmpVarBind* binding)
{
    if (entry->access != MIB_ACCESS_READ_ONLY && entry->access != MIB_ACCESS_READ_WRITE)
        return SNMP_ERRORSTATUS_NOSUCHNAME;
    ClearValue(&binding->value);
    switch (entry->asnType) {
    case ASN_INTEGER:
    case ASN_RFC1155_COUNTER:
    case ASN_RFC1155_GAUGE:
        binding->value.asnValue.number = *(const AsnInteger32*)entry->storage;
        break;
    case ASN_OCTETSTRING: {
        AsnInteger32 status = SetTextValue(&binding->value, (const char*)entry->storage);
        if (status != SNMP_ERRORSTATUS_NOERROR)
            return status;
        break;
    }
    default:
        return SNMP_ERRORSTATUS_GENERR;
    }
    binding->value.asnType = entry->asnType;
    return SNMP_ERRORSTATUS_NOERROR;
}

// A scalar entry's OID is its one instance, ending in .0.
AsnInteger32 HandleScalar(BYTE requestType, MibEntry* entry, SnmpVarBind* binding)
{
    switch (requestType) {
    case SNMP_PDU_GET:
        if (PlaceNameAgainstEntry(&binding->name, entry) != NAME_IS_ENTRY)
            return SNMP_ERRORSTATUS_NOSUCHNAME;
        return AnswerScalarValue(entry, binding);
    case SNMP_PDU_GETNEXT: {
        if (PlaceNameAgainstEntry(&binding->name, entry) != NAME_BEFORE_ENTRY)
            return SNMP_ERRORSTATUS_NOSUCHNAME;
        AsnInteger32 status = SetBindingNameToEntry(binding, entry, FALSE, 0);
        if (status != SNMP_ERRORSTATUS_NOERROR)
            return status;
        return AnswerScalarValue(entry, binding);
    }
    case SNMP_PDU_SET:
        // Every entry is read-only.
        return SNMP_ERRORSTATUS_NOSUCHNAME;
    default:
        return SNMP_ERRORSTATUS_GENERR;
    }
}
