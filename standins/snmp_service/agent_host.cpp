#include "agent_host.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// An agent that keeps answering InitEx with TRUE gets no more regions than this.
#define MAX_REGIONS_PER_AGENT 32
#define MAX_REGIONS (MAX_AGENTS * MAX_REGIONS_PER_AGENT)
// Bytes of strings handed back while one request is answered; more could
// never fit a response anyway.
#define ANSWER_STORE_BYTES 65536

typedef struct HostedAgent {
    HMODULE module;
    const WCHAR* path;
    BOOL initialised;
    HANDLE trapEvent;
    PFNSNMPEXTENSIONINIT init;
    PFNSNMPEXTENSIONINITEX initEx;
    PFNSNMPEXTENSIONQUERY query;
    PFNSNMPEXTENSIONTRAP trap;
    PFNSNMPEXTENSIONCLOSE close;
} HostedAgent;

static HostedAgent g_agents[MAX_AGENTS];
static int g_agentCount;
static AgentRegion g_regions[MAX_REGIONS];
static int g_regionCount;
static BYTE g_answerStore[ANSWER_STORE_BYTES];
static size_t g_answerStoreUsed;

/* ---- loading ---- */

static BOOL ResolveEntryPoints(HostedAgent* agent)
{
    agent->init = (PFNSNMPEXTENSIONINIT)(void*)GetProcAddress(agent->module, "SnmpExtensionInit");
    agent->initEx = (PFNSNMPEXTENSIONINITEX)(void*)GetProcAddress(agent->module, "SnmpExtensionInitEx");
    agent->query = (PFNSNMPEXTENSIONQUERY)(void*)GetProcAddress(agent->module, "SnmpExtensionQuery");
    agent->trap = (PFNSNMPEXTENSIONTRAP)(void*)GetProcAddress(agent->module, "SnmpExtensionTrap");
    agent->close = (PFNSNMPEXTENSIONCLOSE)(void*)GetProcAddress(agent->module, "SnmpExtensionClose");
    return agent->init != NULL && agent->query != NULL;
}

static void AddRegion(int agent, const SnmpOid* prefix)
{
    if (g_regionCount == MAX_REGIONS || prefix->length == 0)
        return;
    for (int i = 0; i < g_regionCount; i++) {
        if (g_regions[i].agent == agent && SnmpCompareOids(&g_regions[i].prefix, prefix) == 0)
            return;
    }
    g_regions[g_regionCount].agent = agent;
    g_regions[g_regionCount].prefix = *prefix;
    g_regionCount++;
}

// The region stays the agent's; the table keeps a copy of its arcs.
static void AddAnnouncedRegion(int agent, const AsnObjectIdentifier* region)
{
    static SnmpOid prefix;
    if (region->ids == NULL || region->idLength > SNMP_MAX_OID_ARCS)
        return;
    prefix.length = region->idLength;
    for (UINT i = 0; i < region->idLength; i++)
        prefix.arcs[i] = region->ids[i];
    AddRegion(agent, &prefix);
}

static int CompareRegions(const void* left, const void* right)
{
    return SnmpCompareOids(&((const AgentRegion*)left)->prefix, &((const AgentRegion*)right)->prefix);
}

// Wine raises this from an entry point that is exported but not written.
#define EXCEPTION_WINE_STUB 0x80000100
#define PROBE_ENDED_BY_STUB 2

typedef struct RegionProbe {
    PFNSNMPEXTENSIONINITEX initEx;
    AsnObjectIdentifier region;
} RegionProbe;

static DWORD g_probeThreadId;

// Ends the probe thread when the agent's InitEx is only a placeholder, so
// that the service goes on as if it had answered FALSE.
static LONG CALLBACK EndStubbedProbe(EXCEPTION_POINTERS* exception)
{
    if (exception->ExceptionRecord->ExceptionCode == EXCEPTION_WINE_STUB && GetCurrentThreadId() == g_probeThreadId)
        ExitThread(PROBE_ENDED_BY_STUB);
    return EXCEPTION_CONTINUE_SEARCH;
}

static DWORD WINAPI RunRegionProbe(void* parameter)
{
    RegionProbe* probe = (RegionProbe*)parameter;
    return probe->initEx(&probe->region) ? 1 : 0;
}

// One InitEx call on a thread of its own; FALSE when the agent has no
// further region or the entry point is a placeholder.
static BOOL AskNextRegion(HostedAgent* agent, AsnObjectIdentifier* region)
{
    RegionProbe probe = { agent->initEx, { 0, NULL } };
    DWORD exitCode = 0;
    HANDLE thread = CreateThread(NULL, 0, RunRegionProbe, &probe, CREATE_SUSPENDED, &g_probeThreadId);
    if (thread == NULL)
        return FALSE;
    ResumeThread(thread);
    WaitForSingleObject(thread, INFINITE);
    GetExitCodeThread(thread, &exitCode);
    CloseHandle(thread);
    g_probeThreadId = 0;
    if (exitCode == PROBE_ENDED_BY_STUB)
        agent->initEx = NULL;
    *region = probe.region;
    return exitCode == 1;
}

static BOOL InitialiseAgent(int index, DWORD uptimeReference)
{
    HostedAgent* agent = &g_agents[index];
    AsnObjectIdentifier region = { 0, NULL };
    HANDLE trapEvent = NULL;
    if (!agent->init(uptimeReference, &trapEvent, &region))
        return FALSE;
    agent->initialised = TRUE;
    agent->trapEvent = trapEvent;
    AddAnnouncedRegion(index, &region);
    for (int more = 0; agent->initEx != NULL && more < MAX_REGIONS_PER_AGENT; more++) {
        AsnObjectIdentifier next = { 0, NULL };
        if (!AskNextRegion(agent, &next))
            break;
        AddAnnouncedRegion(index, &next);
    }
    return TRUE;
}

static BOOL LoadAgent(const WCHAR* path, DWORD uptimeReference, WCHAR* error, size_t errorChars)
{
    HostedAgent* agent = &g_agents[g_agentCount];
    memset(agent, 0, sizeof(*agent));
    agent->path = path;
    agent->module = LoadLibraryW(path);
    if (agent->module == NULL) {
        _snwprintf(error, errorChars, L"cannot load agent \"%ls\" (error %lu)", path, GetLastError());
        error[errorChars - 1] = L'\0';
        return FALSE;
    }
    g_agentCount++;
    if (!ResolveEntryPoints(agent)) {
        _snwprintf(error, errorChars, L"\"%ls\" is not an extension agent (no SnmpExtensionInit or SnmpExtensionQuery)", path);
        error[errorChars - 1] = L'\0';
        return FALSE;
    }
    if (!InitialiseAgent(g_agentCount - 1, uptimeReference))
        fwprintf(stderr, L"snmp_service: agent \"%ls\" did not initialise; it serves nothing\n", path);
    return TRUE;
}

BOOL LoadAgents(const ServiceSettings* settings, DWORD uptimeReference, WCHAR* error, size_t errorChars)
{
    BOOL loaded = TRUE;
    PVOID stubHandler = AddVectoredExceptionHandler(1, EndStubbedProbe);
    for (int i = 0; i < settings->agentCount && loaded; i++)
        loaded = LoadAgent(settings->agentPaths[i], uptimeReference, error, errorChars);
    RemoveVectoredExceptionHandler(stubHandler);
    for (int i = 0; i < settings->extraRegionCount && loaded; i++) {
        if (g_agents[settings->extraRegionAgents[i]].initialised)
            AddRegion(settings->extraRegionAgents[i], &settings->extraRegions[i]);
    }
    qsort(g_regions, g_regionCount, sizeof(g_regions[0]), CompareRegions);
    return loaded;
}

void CloseAgents(void)
{
    for (int i = 0; i < g_agentCount; i++) {
        HostedAgent* agent = &g_agents[i];
        if (agent->initialised && agent->close != NULL)
            agent->close();
        agent->initialised = FALSE;
        FreeLibrary(agent->module);
    }
    g_agentCount = 0;
    g_regionCount = 0;
}

int AgentCount(void)
{
    return g_agentCount;
}

const WCHAR* AgentPath(int agent)
{
    return g_agents[agent].path;
}

HANDLE AgentTrapEvent(int agent)
{
    return g_agents[agent].initialised ? g_agents[agent].trapEvent : NULL;
}

int RegionCount(void)
{
    return g_regionCount;
}

const AgentRegion* RegionAt(int index)
{
    return &g_regions[index];
}

/* ---- from the wire to the agent ---- */

static BOOL MakeAgentOid(const SnmpOid* oid, AsnObjectIdentifier* agentOid)
{
    agentOid->idLength = 0;
    agentOid->ids = (UINT*)SnmpUtilMemAlloc(oid->length > 0 ? oid->length * sizeof(UINT) : sizeof(UINT));
    if (agentOid->ids == NULL)
        return FALSE;
    for (uint32_t i = 0; i < oid->length; i++)
        agentOid->ids[i] = oid->arcs[i];
    agentOid->idLength = oid->length;
    return TRUE;
}

static BOOL MakeAgentOctets(const SnmpValue* value, AsnOctetString* octets)
{
    octets->stream = (BYTE*)SnmpUtilMemAlloc(value->byteCount > 0 ? (UINT)value->byteCount : 1);
    if (octets->stream == NULL)
        return FALSE;
    if (value->byteCount > 0)
        memcpy(octets->stream, value->bytes, value->byteCount);
    octets->length = (UINT)value->byteCount;
    octets->dynamic = TRUE;
    return TRUE;
}

// Every block goes through SnmpUtilMemAlloc, so that SnmpUtilVarBindFree
// can release whatever the agent leaves in the binding.
static BOOL MakeAgentValue(const SnmpValue* value, AsnAny* any)
{
    memset(any, 0, sizeof(*any));
    any->asnType = value->type;
    switch (value->type) {
    case SNMP_TAG_INTEGER:
        any->asnValue.number = value->integer;
        return TRUE;
    case SNMP_TAG_OCTET_STRING:
    case SNMP_TAG_OPAQUE:
    case SNMP_TAG_IP_ADDRESS:
        return MakeAgentOctets(value, &any->asnValue.string);
    case SNMP_TAG_OID:
        return MakeAgentOid(&value->oid, &any->asnValue.object);
    case SNMP_TAG_COUNTER32:
    case SNMP_TAG_GAUGE32:
    case SNMP_TAG_TIMETICKS:
        any->asnValue.unsigned32 = value->unsigned32;
        return TRUE;
    case SNMP_TAG_COUNTER64:
        any->asnValue.counter64.QuadPart = value->unsigned64;
        return TRUE;
    default:
        any->asnType = ASN_NULL;
        return TRUE;
    }
}

/* ---- from the agent to the wire ---- */

void ResetAnswerStore(void)
{
    g_answerStoreUsed = 0;
}

static BOOL StoreAnswerBytes(const BYTE* bytes, UINT length, const uint8_t** stored)
{
    if (length > ANSWER_STORE_BYTES - g_answerStoreUsed)
        return FALSE;
    if (length > 0)
        memcpy(g_answerStore + g_answerStoreUsed, bytes, length);
    *stored = g_answerStore + g_answerStoreUsed;
    g_answerStoreUsed += length;
    return TRUE;
}

static BOOL ReadAgentOid(const AsnObjectIdentifier* agentOid, SnmpOid* oid)
{
    if (agentOid->idLength > SNMP_MAX_OID_ARCS || (agentOid->idLength > 0 && agentOid->ids == NULL))
        return FALSE;
    oid->length = agentOid->idLength;
    for (UINT i = 0; i < agentOid->idLength; i++)
        oid->arcs[i] = agentOid->ids[i];
    return TRUE;
}

static BOOL ReadAgentOctets(const AsnOctetString* octets, SnmpValue* value)
{
    UINT length = octets->stream != NULL ? octets->length : 0;
    value->byteCount = length;
    return StoreAnswerBytes(octets->stream, length, &value->bytes);
}

// FALSE for a value the wire cannot carry.
static BOOL ReadAgentValue(const AsnAny* any, SnmpValue* value)
{
    memset(value, 0, sizeof(*value));
    value->type = any->asnType;
    switch (any->asnType) {
    case ASN_INTEGER32:
        value->integer = any->asnValue.number;
        return TRUE;
    case ASN_OCTETSTRING:
    case ASN_BITS:
        value->type = SNMP_TAG_OCTET_STRING;
        return ReadAgentOctets(&any->asnValue.string, value);
    case ASN_OPAQUE:
        return ReadAgentOctets(&any->asnValue.arbitrary, value);
    case ASN_IPADDRESS:
        return ReadAgentOctets(&any->asnValue.address, value) && value->byteCount == 4;
    case ASN_OBJECTIDENTIFIER:
        return ReadAgentOid(&any->asnValue.object, &value->oid);
    case ASN_COUNTER32:
    case ASN_GAUGE32:
    case ASN_TIMETICKS:
        value->unsigned32 = any->asnValue.unsigned32;
        return TRUE;
    case ASN_UINTEGER32:
        // Unsigned32 shares Gauge32's tag on the wire.
        value->type = SNMP_TAG_GAUGE32;
        value->unsigned32 = any->asnValue.unsigned32;
        return TRUE;
    case ASN_COUNTER64:
        value->unsigned64 = any->asnValue.counter64.QuadPart;
        return TRUE;
    case ASN_NULL:
    case SNMP_EXCEPTION_NOSUCHOBJECT:
    case SNMP_EXCEPTION_NOSUCHINSTANCE:
    case SNMP_EXCEPTION_ENDOFMIBVIEW:
        return TRUE;
    default:
        return FALSE;
    }
}

static BOOL ReadAgentBinding(const SnmpVarBind* binding, SnmpBinding* answer)
{
    return ReadAgentOid(&binding->name, &answer->name) && ReadAgentValue(&binding->value, &answer->value);
}

static BOOL MakeSingleBindingList(BYTE pduType, const SnmpBinding* request, SnmpVarBindList* list)
{
    list->len = 0;
    list->list = (SnmpVarBind*)SnmpUtilMemAlloc(sizeof(SnmpVarBind));
    if (list->list == NULL)
        return FALSE;
    memset(list->list, 0, sizeof(SnmpVarBind));
    list->len = 1;
    SnmpVarBind* binding = &list->list[0];
    if (!MakeAgentOid(&request->name, &binding->name))
        return FALSE;
    if (pduType == SNMP_PDU_SET)
        return MakeAgentValue(&request->value, &binding->value);
    binding->value.asnType = ASN_NULL;
    return TRUE;
}

AsnInteger32 QueryAgentBinding(int agent, BYTE pduType, const SnmpBinding* request, SnmpBinding* answer)
{
    SnmpVarBindList list = { NULL, 0 };
    AsnInteger32 status = SNMP_ERRORSTATUS_GENERR;
    AsnInteger32 index = 0;
    if (MakeSingleBindingList(pduType, request, &list)) {
        status = SNMP_ERRORSTATUS_NOERROR;
        if (!g_agents[agent].query(pduType, &list, &status, &index))
            status = SNMP_ERRORSTATUS_GENERR;
        if (status == SNMP_ERRORSTATUS_NOERROR && (list.len != 1 || !ReadAgentBinding(&list.list[0], answer)))
            status = SNMP_ERRORSTATUS_GENERR;
    }
    SnmpUtilVarBindListFree(&list);
    return status;
}

BOOL CollectAgentTrap(int agent, CollectedTrap* trap, SnmpBinding* bindings, size_t capacity)
{
    HostedAgent* hosted = &g_agents[agent];
    AsnObjectIdentifier enterprise = { 0, NULL };
    AsnInteger32 generic = 0, specific = 0;
    AsnTimeticks stamp = 0;
    SnmpVarBindList list = { NULL, 0 };
    if (!hosted->initialised || hosted->trap == NULL)
        return FALSE;
    if (!hosted->trap(&enterprise, &generic, &specific, &stamp, &list))
        return FALSE;
    // The enterprise stays the agent's; only the bindings are ours to free.
    if (!ReadAgentOid(&enterprise, &trap->enterprise))
        trap->enterprise.length = 0;
    trap->genericTrap = generic;
    trap->specificTrap = specific;
    trap->timeStamp = stamp;
    trap->bindings = bindings;
    trap->bindingCount = 0;
    for (UINT i = 0; i < list.len && list.list != NULL && trap->bindingCount < capacity; i++) {
        if (ReadAgentBinding(&list.list[i], &bindings[trap->bindingCount]))
            trap->bindingCount++;
    }
    SnmpUtilVarBindListFree(&list);
    return TRUE;
}
