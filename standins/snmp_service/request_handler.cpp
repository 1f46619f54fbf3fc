#include "request_handler.h"

#include <snmp.h>
#include <string.h>

#include "agent_host.h"

#define MAX_RESPONSE_BINDINGS 512
// A walk that an agent keeps feeding with names it cannot go on from
// (exceptions, or Counter64 for SNMPv1) gives up after this many steps.
#define MAX_STEPS_PER_BINDING 10000

static SnmpBinding g_responseBindings[MAX_RESPONSE_BINDINGS];

/* ---- status mapping ---- */

// What an SNMPv1 agent may answer for an SNMPv2 error.
static AsnInteger32 MapToVersion1(AsnInteger32 status)
{
    switch (status) {
    case SNMP_ERRORSTATUS_NOERROR:
    case SNMP_ERRORSTATUS_TOOBIG:
    case SNMP_ERRORSTATUS_NOSUCHNAME:
    case SNMP_ERRORSTATUS_BADVALUE:
    case SNMP_ERRORSTATUS_READONLY:
    case SNMP_ERRORSTATUS_GENERR:
        return status;
    case SNMP_ERRORSTATUS_NOACCESS:
    case SNMP_ERRORSTATUS_NOTWRITABLE:
    case SNMP_ERRORSTATUS_NOCREATION:
    case SNMP_ERRORSTATUS_INCONSISTENTNAME:
    case SNMP_ERRORSTATUS_AUTHORIZATIONERROR:
        return SNMP_ERRORSTATUS_NOSUCHNAME;
    case SNMP_ERRORSTATUS_WRONGTYPE:
    case SNMP_ERRORSTATUS_WRONGLENGTH:
    case SNMP_ERRORSTATUS_WRONGENCODING:
    case SNMP_ERRORSTATUS_WRONGVALUE:
    case SNMP_ERRORSTATUS_INCONSISTENTVALUE:
        return SNMP_ERRORSTATUS_BADVALUE;
    default:
        return SNMP_ERRORSTATUS_GENERR;
    }
}

// Retrievals in SNMPv2c report missing names as exceptions, so the only
// errors left are tooBig and genErr.
static AsnInteger32 MapRetrievalToVersion2(AsnInteger32 status)
{
    return status == SNMP_ERRORSTATUS_TOOBIG ? status : SNMP_ERRORSTATUS_GENERR;
}

static AsnInteger32 MapSetToVersion2(AsnInteger32 status)
{
    switch (status) {
    case SNMP_ERRORSTATUS_NOSUCHNAME:
    case SNMP_ERRORSTATUS_READONLY:
        return SNMP_ERRORSTATUS_NOTWRITABLE;
    case SNMP_ERRORSTATUS_BADVALUE:
        return SNMP_ERRORSTATUS_WRONGVALUE;
    default:
        return status >= SNMP_ERRORSTATUS_NOERROR && status <= SNMP_ERRORSTATUS_INCONSISTENTNAME
            ? status : SNMP_ERRORSTATUS_GENERR;
    }
}

static BOOL IsException(uint8_t type)
{
    return type == SNMP_TAG_NO_SUCH_OBJECT || type == SNMP_TAG_NO_SUCH_INSTANCE || type == SNMP_TAG_END_OF_MIB_VIEW;
}

// SNMPv1 cannot carry Counter64 or the exceptions.
static BOOL FitsVersion(int32_t version, uint8_t type)
{
    return version != SNMP_VERSION_1 || (type != SNMP_TAG_COUNTER64 && !IsException(type));
}

static void SetException(SnmpBinding* binding, const SnmpOid* name, uint8_t exception)
{
    memset(&binding->value, 0, sizeof(binding->value));
    if (&binding->name != name)
        binding->name = *name;
    binding->value.type = exception;
}

/* ---- routing ---- */

// The region covering name, the longest prefix winning; -1 for none.
static int FindCoveringRegion(const SnmpOid* name)
{
    int found = -1;
    for (int i = 0; i < RegionCount(); i++) {
        const AgentRegion* region = RegionAt(i);
        if (SnmpOidStartsWith(name, &region->prefix)
            && (found < 0 || region->prefix.length > RegionAt(found)->prefix.length))
            found = i;
    }
    return found;
}

static AsnInteger32 GetBinding(int32_t version, const SnmpBinding* request, SnmpBinding* answer)
{
    int region = FindCoveringRegion(&request->name);
    if (region < 0) {
        if (version == SNMP_VERSION_1)
            return SNMP_ERRORSTATUS_NOSUCHNAME;
        SetException(answer, &request->name, SNMP_TAG_NO_SUCH_OBJECT);
        return SNMP_ERRORSTATUS_NOERROR;
    }
    AsnInteger32 status = QueryAgentBinding(RegionAt(region)->agent, SNMP_PDU_GET, request, answer);
    if (status == SNMP_ERRORSTATUS_NOERROR) {
        answer->name = request->name;
        return FitsVersion(version, answer->value.type) ? status : SNMP_ERRORSTATUS_NOSUCHNAME;
    }
    if (version == SNMP_VERSION_1)
        return MapToVersion1(status);
    if (status != SNMP_ERRORSTATUS_NOSUCHNAME)
        return MapRetrievalToVersion2(status);
    SetException(answer, &request->name, SNMP_TAG_NO_SUCH_INSTANCE);
    return SNMP_ERRORSTATUS_NOERROR;
}

// A region lies wholly before name when name sorts after its prefix
// without lying inside it.
static BOOL RegionIsBefore(const AgentRegion* region, const SnmpOid* name)
{
    return !SnmpOidStartsWith(name, &region->prefix) && SnmpCompareOids(name, &region->prefix) > 0;
}

// One GETNEXT step from name across the regions in order. An agent that
// answers noSuchName, or a name outside its region, has nothing more:
// the walk goes on at the next region's prefix.
static AsnInteger32 GetNextBinding(int32_t version, const SnmpOid* name, SnmpBinding* answer)
{
    static SnmpBinding ask;
    int steps = 0;
    ask.name = *name;
    for (int r = 0; r < RegionCount() && steps < MAX_STEPS_PER_BINDING; steps++) {
        const AgentRegion* region = RegionAt(r);
        if (RegionIsBefore(region, &ask.name)) {
            r++;
            continue;
        }
        if (!SnmpOidStartsWith(&ask.name, &region->prefix))
            ask.name = region->prefix;
        memset(&ask.value, 0, sizeof(ask.value));
        ask.value.type = SNMP_TAG_NULL;
        AsnInteger32 status = QueryAgentBinding(region->agent, SNMP_PDU_GETNEXT, &ask, answer);
        if (status == SNMP_ERRORSTATUS_NOSUCHNAME) {
            r++;
            continue;
        }
        if (status != SNMP_ERRORSTATUS_NOERROR)
            return version == SNMP_VERSION_1 ? MapToVersion1(status) : MapRetrievalToVersion2(status);
        if (!SnmpOidStartsWith(&answer->name, &region->prefix) || SnmpCompareOids(&answer->name, &ask.name) <= 0
            || answer->value.type == SNMP_TAG_END_OF_MIB_VIEW) {
            r++;
            continue;
        }
        // An exception is no successor, nor is a type the version cannot
        // carry: walk on from the name the agent reached.
        if (!FitsVersion(version, answer->value.type) || IsException(answer->value.type)) {
            ask.name = answer->name;
            continue;
        }
        return SNMP_ERRORSTATUS_NOERROR;
    }
    if (steps >= MAX_STEPS_PER_BINDING)
        return SNMP_ERRORSTATUS_GENERR;
    if (version == SNMP_VERSION_1)
        return SNMP_ERRORSTATUS_NOSUCHNAME;
    SetException(answer, name, SNMP_TAG_END_OF_MIB_VIEW);
    return SNMP_ERRORSTATUS_NOERROR;
}

static AsnInteger32 SetBinding(int32_t version, BOOL writeAllowed, const SnmpBinding* request)
{
    static SnmpBinding answer;
    BOOL v1 = version == SNMP_VERSION_1;
    if (!writeAllowed)
        return v1 ? SNMP_ERRORSTATUS_NOSUCHNAME : SNMP_ERRORSTATUS_NOACCESS;
    int region = FindCoveringRegion(&request->name);
    if (region < 0)
        return v1 ? SNMP_ERRORSTATUS_NOSUCHNAME : SNMP_ERRORSTATUS_NOTWRITABLE;
    if (!FitsVersion(version, request->value.type) || IsException(request->value.type))
        return v1 ? SNMP_ERRORSTATUS_BADVALUE : SNMP_ERRORSTATUS_WRONGTYPE;
    AsnInteger32 status = QueryAgentBinding(RegionAt(region)->agent, SNMP_PDU_SET, request, &answer);
    return v1 ? MapToVersion1(status) : MapSetToVersion2(status);
}

/* ---- responses ---- */

static void StartResponse(const SnmpMessage* request, SnmpMessage* response)
{
    memset(response, 0, sizeof(*response));
    response->version = request->version;
    response->community = request->community;
    response->communityLength = request->communityLength;
    response->pduType = SNMP_TAG_RESPONSE;
    response->requestId = request->requestId;
    response->bindings = g_responseBindings;
}

// Encodes response, or a tooBig response without bindings when it would
// exceed the limit.
static size_t EncodeWithinLimit(SnmpMessage* response, uint8_t* out, size_t capacity)
{
    size_t limit = capacity < RESPONSE_LIMIT_BYTES ? capacity : RESPONSE_LIMIT_BYTES;
    size_t length = SnmpEncodeMessage(response, out, limit);
    if (length > 0)
        return length;
    response->errorStatus = SNMP_ERRORSTATUS_TOOBIG;
    response->errorIndex = 0;
    response->bindingCount = 0;
    return SnmpEncodeMessage(response, out, limit);
}

// An error response carries the request's own bindings, and so does
// the answer to a SET.
static size_t EncodeEchoingRequest(const SnmpMessage* request, AsnInteger32 status, size_t failedBinding,
                          uint8_t* out, size_t capacity)
{
    SnmpMessage response;
    StartResponse(request, &response);
    response.errorStatus = status;
    BOOL pointsAtBinding = status != SNMP_ERRORSTATUS_NOERROR && status != SNMP_ERRORSTATUS_TOOBIG;
    response.errorIndex = pointsAtBinding ? (int32_t)(failedBinding + 1) : 0;
    response.bindings = request->bindings;
    response.bindingCount = request->bindingCount;
    return EncodeWithinLimit(&response, out, capacity);
}

static size_t AnswerGetOrGetNext(const SnmpMessage* request, uint8_t* out, size_t capacity)
{
    SnmpMessage response;
    StartResponse(request, &response);
    if (request->bindingCount > MAX_RESPONSE_BINDINGS)
        return EncodeEchoingRequest(request, SNMP_ERRORSTATUS_TOOBIG, 0, out, capacity);
    for (size_t i = 0; i < request->bindingCount; i++) {
        AsnInteger32 status = request->pduType == SNMP_PDU_GET
            ? GetBinding(request->version, &request->bindings[i], &g_responseBindings[i])
            : GetNextBinding(request->version, &request->bindings[i].name, &g_responseBindings[i]);
        if (status != SNMP_ERRORSTATUS_NOERROR)
            return EncodeEchoingRequest(request, status, i, out, capacity);
    }
    response.bindingCount = request->bindingCount;
    return EncodeWithinLimit(&response, out, capacity);
}

static size_t AnswerSet(const SnmpMessage* request, BOOL writeAllowed, uint8_t* out, size_t capacity)
{
    for (size_t i = 0; i < request->bindingCount; i++) {
        AsnInteger32 status = SetBinding(request->version, writeAllowed, &request->bindings[i]);
        if (status != SNMP_ERRORSTATUS_NOERROR)
            return EncodeEchoingRequest(request, status, i, out, capacity);
    }
    // A successful SET answers with the bindings as they were asked.
    return EncodeEchoingRequest(request, SNMP_ERRORSTATUS_NOERROR, 0, out, capacity);
}

typedef struct BulkResponse {
    SnmpMessage message;
    size_t bindingBytes;
    BOOL full;
} BulkResponse;

// Keeps binding count as the next binding of the response if the message
// still fits the limit with it.
static BOOL KeepBulkBinding(BulkResponse* bulk, size_t limit)
{
    SnmpMessage* message = &bulk->message;
    size_t size = SnmpBindingSize(&g_responseBindings[message->bindingCount]);
    if (message->bindingCount == MAX_RESPONSE_BINDINGS - 1
        || SnmpMessageSizeWithBindingBytes(message, bulk->bindingBytes + size) > limit) {
        bulk->full = TRUE;
        return FALSE;
    }
    bulk->bindingBytes += size;
    message->bindingCount++;
    return TRUE;
}

// GETBULK as repeated GETNEXTs: the non-repeaters once, then the
// repeaters in rounds, each from the name its last round reached, until
// max-repetitions rounds are done, all repeaters have ended, or the
// response is full.
static size_t AnswerGetBulk(const SnmpMessage* request, uint8_t* out, size_t capacity)
{
    static size_t lastAnswer[SNMP_MAX_BINDINGS];
    BulkResponse bulk = {};
    size_t limit = capacity < RESPONSE_LIMIT_BYTES ? capacity : RESPONSE_LIMIT_BYTES;
    size_t nonRepeaters = request->errorStatus < 0 ? 0 : (size_t)request->errorStatus;
    int32_t repetitions = request->errorIndex < 0 ? 0 : request->errorIndex;
    if (nonRepeaters > request->bindingCount)
        nonRepeaters = request->bindingCount;
    size_t repeaters = request->bindingCount - nonRepeaters;
    StartResponse(request, &bulk.message);
    for (size_t i = 0; i < nonRepeaters && !bulk.full; i++) {
        SnmpBinding* answer = &g_responseBindings[bulk.message.bindingCount];
        AsnInteger32 status = GetNextBinding(request->version, &request->bindings[i].name, answer);
        if (status != SNMP_ERRORSTATUS_NOERROR)
            return EncodeEchoingRequest(request, status, i, out, capacity);
        KeepBulkBinding(&bulk, limit);
    }
    for (int32_t round = 0; round < repetitions && repeaters > 0 && !bulk.full; round++) {
        BOOL anyLeft = FALSE;
        for (size_t j = 0; j < repeaters && !bulk.full; j++) {
            size_t slot = bulk.message.bindingCount;
            const SnmpBinding* previous = round == 0 ? &request->bindings[nonRepeaters + j]
                                                     : &g_responseBindings[lastAnswer[j]];
            if (round > 0 && previous->value.type == SNMP_TAG_END_OF_MIB_VIEW) {
                SetException(&g_responseBindings[slot], &previous->name, SNMP_TAG_END_OF_MIB_VIEW);
            } else {
                AsnInteger32 status = GetNextBinding(request->version, &previous->name, &g_responseBindings[slot]);
                if (status != SNMP_ERRORSTATUS_NOERROR)
                    return EncodeEchoingRequest(request, status, nonRepeaters + j, out, capacity);
            }
            anyLeft = anyLeft || g_responseBindings[slot].value.type != SNMP_TAG_END_OF_MIB_VIEW;
            if (KeepBulkBinding(&bulk, limit))
                lastAnswer[j] = slot;
        }
        if (!anyLeft)
            break;
    }
    return EncodeWithinLimit(&bulk.message, out, capacity);
}

size_t AnswerRequest(const SnmpMessage* request, BOOL writeAllowed, uint8_t* response, size_t capacity)
{
    ResetAnswerStore();
    switch (request->pduType) {
    case SNMP_TAG_GET_REQUEST:
    case SNMP_TAG_GET_NEXT_REQUEST:
        return AnswerGetOrGetNext(request, response, capacity);
    case SNMP_TAG_SET_REQUEST:
        return AnswerSet(request, writeAllowed, response, capacity);
    case SNMP_TAG_GET_BULK_REQUEST:
        return AnswerGetBulk(request, response, capacity);
    default:
        return 0;
    }
}
