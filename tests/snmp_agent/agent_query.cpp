#include "agent_query.h"

#include <cstring>
#include <sstream>

const Oid kEndOfRegion = {1, 3, 6, 1, 4, 1, 32474};

Oid Mib(std::initializer_list<UINT> arcs)
{
    return Mib(Oid(arcs));
}

Oid Mib(const Oid& arcs)
{
    Oid oid = {1, 3, 6, 1, 4, 1, 32473};
    oid.insert(oid.end(), arcs.begin(), arcs.end());
    return oid;
}

std::string OidText(const Oid& oid)
{
    std::ostringstream text;
    for (size_t k = 0; k < oid.size(); k++)
        text << (k ? "." : "") << oid[k];
    return text.str();
}

static void FillName(AsnObjectIdentifier* name, const Oid& oid)
{
    name->idLength = (UINT)oid.size();
    name->ids = NULL;
    if (!oid.empty()) {
        name->ids = (UINT*)SnmpUtilMemAlloc((UINT)(oid.size() * sizeof(UINT)));
        memcpy(name->ids, oid.data(), oid.size() * sizeof(UINT));
    }
}

static BindingAnswer ReadBinding(const SnmpVarBind& binding)
{
    BindingAnswer answer;
    answer.name.assign(binding.name.ids, binding.name.ids + binding.name.idLength);
    answer.type = binding.value.asnType;
    answer.number = 0;
    if (answer.type == ASN_OCTETSTRING)
        answer.text.assign((const char*)binding.value.asnValue.string.stream, binding.value.asnValue.string.length);
    else if (answer.type != ASN_NULL)
        answer.number = binding.value.asnValue.number;
    return answer;
}

QueryAnswer Query(QueryFunction query, BYTE requestType, const std::vector<Oid>& names)
{
    SnmpVarBindList list;
    list.len = (UINT)names.size();
    list.list = (SnmpVarBind*)SnmpUtilMemAlloc((UINT)(names.size() * sizeof(SnmpVarBind) + 1));
    for (size_t k = 0; k < names.size(); k++) {
        memset(&list.list[k], 0, sizeof(SnmpVarBind));
        FillName(&list.list[k].name, names[k]);
        list.list[k].value.asnType = ASN_NULL;
    }
    QueryAnswer answer;
    answer.status = -7;
    answer.index = -7;
    answer.result = query(requestType, &list, &answer.status, &answer.index);
    for (size_t k = 0; k < names.size(); k++)
        answer.bindings.push_back(ReadBinding(list.list[k]));
    SnmpUtilVarBindListFree(&list);
    return answer;
}

BindingAnswer QueryOne(QueryFunction query, BYTE requestType, const Oid& name, AsnInteger32* status)
{
    QueryAnswer answer = Query(query, requestType, {name});
    *status = answer.status;
    return answer.bindings[0];
}

std::vector<Oid> Walk(QueryFunction query, size_t maxSteps)
{
    std::vector<Oid> visited;
    Oid name = Mib({});
    const Oid prefix = Mib({});
    while (visited.size() < maxSteps) {
        AsnInteger32 status;
        name = QueryOne(query, SNMP_PDU_GETNEXT, name, &status).name;
        visited.push_back(name);
        if (status != SNMP_ERRORSTATUS_NOERROR || name.size() < prefix.size() ||
            !std::equal(prefix.begin(), prefix.end(), name.begin()))
            break;
    }
    return visited;
}
