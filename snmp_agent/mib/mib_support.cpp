#include "mib_support.h"

#include <string.h>

int CompareOids(const UINT* left, UINT leftLength, const UINT* right, UINT rightLength)
{
    UINT common = leftLength < rightLength ? leftLength : rightLength;
    for (UINT k = 0; k < common; k++) {
        if (left[k] != right[k])
            return left[k] < right[k] ? -1 : 1;
    }
    if (leftLength == rightLength)
        return 0;
    return leftLength < rightLength ? -1 : 1;
}

// The entry's whole OID: the view prefix followed by its suffix.
static UINT EntryOid(const MibEntry* entry, UINT* arcs)
{
    memcpy(arcs, g_viewPrefixArcs, sizeof(g_viewPrefixArcs));
    memcpy(arcs + VIEW_PREFIX_ARCS, entry->suffix, entry->suffixLength * sizeof(UINT));
    return VIEW_PREFIX_ARCS + entry->suffixLength;
}

NamePlace PlaceNameAgainstEntry(const AsnObjectIdentifier* name, const MibEntry* entry)
{
    UINT arcs[VIEW_PREFIX_ARCS + MIB_MAX_SUFFIX_ARCS];
    UINT length = EntryOid(entry, arcs);
    int order = CompareOids(name->ids, name->idLength, arcs, length);
    if (order < 0)
        return NAME_BEFORE_ENTRY;
    if (order == 0)
        return NAME_IS_ENTRY;
    if (name->idLength > length && CompareOids(name->ids, length, arcs, length) == 0)
        return NAME_BELOW_ENTRY;
    return NAME_AFTER_ENTRY;
}

UINT ArcBelowEntry(const AsnObjectIdentifier* name, const MibEntry* entry)
{
    return name->ids[VIEW_PREFIX_ARCS + entry->suffixLength];
}

BOOL NameIsOneArcBelowEntry(const AsnObjectIdentifier* name, const MibEntry* entry)
{
    return PlaceNameAgainstEntry(name, entry) == NAME_BELOW_ENTRY &&
           name->idLength == VIEW_PREFIX_ARCS + entry->suffixLength + 1;
}

AsnInteger32 SetBindingNameToEntry(SnmpVarBind* binding, const MibEntry* entry, BOOL withRow, UINT row)
{
    AsnObjectIdentifier prefix = ViewPrefix();
    AsnObjectIdentifier suffix;
    suffix.idLength = entry->suffixLength;
    suffix.ids = (UINT*)entry->suffix;
    AsnObjectIdentifier rowSuffix;
    rowSuffix.idLength = 1;
    rowSuffix.ids = &row;
    SnmpUtilOidFree(&binding->name);
    if (!SnmpUtilOidCpy(&binding->name, &prefix) || !SnmpUtilOidAppend(&binding->name, &suffix) ||
        (withRow && !SnmpUtilOidAppend(&binding->name, &rowSuffix)))
        return SNMP_ERRORSTATUS_GENERR;
    return SNMP_ERRORSTATUS_NOERROR;
}

AsnInteger32 SetBindingNameToEndOfRegion(SnmpVarBind* binding)
{
    UINT arcs[VIEW_PREFIX_ARCS];
    memcpy(arcs, g_viewPrefixArcs, sizeof(arcs));
    arcs[VIEW_PREFIX_ARCS - 1]++;
    AsnObjectIdentifier endOfRegion;
    endOfRegion.idLength = VIEW_PREFIX_ARCS;
    endOfRegion.ids = arcs;
    SnmpUtilOidFree(&binding->name);
    if (!SnmpUtilOidCpy(&binding->name, &endOfRegion))
        return SNMP_ERRORSTATUS_GENERR;
    return SNMP_ERRORSTATUS_NOERROR;
}

// By hand: the 32-bit snmpapi import library lacks SnmpUtilAsnAnyFree.
void ClearValue(AsnAny* value)
{
    switch (value->asnType) {
    case ASN_OBJECTIDENTIFIER:
        SnmpUtilOidFree(&value->asnValue.object);
        break;
    case ASN_OCTETSTRING:
    case ASN_BITS:
    case ASN_SEQUENCE:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
        if (value->asnValue.string.dynamic)
            SnmpUtilMemFree(value->asnValue.string.stream);
        break;
    }
    ZeroMemory(value, sizeof(*value));
    value->asnType = ASN_NULL;
}

// An empty text still gets a block, so that the stream is never NULL.
AsnInteger32 SetTextValue(AsnAny* value, const char* text)
{
    UINT length = (UINT)strlen(text);
    BYTE* stream = (BYTE*)SnmpUtilMemAlloc(length > 0 ? length : 1);
    if (stream == NULL)
        return SNMP_ERRORSTATUS_GENERR;
    memcpy(stream, text, length);
    value->asnValue.string.stream = stream;
    value->asnValue.string.length = length;
    value->asnValue.string.dynamic = TRUE;
    return SNMP_ERRORSTATUS_NOERROR;
}

void CopyArcs(const UINT* source, BYTE* destination, UINT count)
{
    for (UINT k = 0; k < count; k++) {
        destination[4 * k] = (BYTE)source[k];
        destination[4 * k + 1] = (BYTE)(source[k] >> 8);
        destination[4 * k + 2] = (BYTE)(source[k] >> 16);
        destination[4 * k + 3] = (BYTE)(source[k] >> 24);
    }
}
