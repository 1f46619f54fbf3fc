#pragma once
// Requests as the SNMP service makes them: names and values allocated with
// SnmpUtilMemAlloc, handed to a query function, freed afterwards.
#include <windows.h>
#include <snmp.h>

#include <string>
#include <vector>

using Oid = std::vector<UINT>;

typedef BOOL(WINAPI* QueryFunction)(BYTE, SnmpVarBindList*, AsnInteger32*, AsnInteger32*);

// The view prefix 1.3.6.1.4.1.32473 followed by the arcs.
Oid Mib(std::initializer_list<UINT> arcs);
Oid Mib(const Oid& arcs);
extern const Oid kEndOfRegion;
std::string OidText(const Oid& oid);

struct BindingAnswer {
    Oid name;
    BYTE type;
    AsnInteger32 number;
    std::string text;
};

struct QueryAnswer {
    BOOL result;
    AsnInteger32 status;  // -7 when the query did not write it
    AsnInteger32 index;   // -7 likewise
    std::vector<BindingAnswer> bindings;
};

QueryAnswer Query(QueryFunction query, BYTE requestType, const std::vector<Oid>& names);
// One binding; the answer's binding is that one.
BindingAnswer QueryOne(QueryFunction query, BYTE requestType, const Oid& name, AsnInteger32* status);

// Every name a walk visits from the view prefix, up to the first name
// outside the region (included), at most maxSteps names.
std::vector<Oid> Walk(QueryFunction query, size_t maxSteps = 5000);
