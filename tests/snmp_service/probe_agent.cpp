// A small extension agent for testing the SNMP service stand-in: one value
// of every type the interface knows, a writable value, a column of long
// strings for the response size limit, traps on demand, and two regions
// (the second one announced through SnmpExtensionInitEx).
//
//   1.3.6.1.3.7777.1.0   INTEGER -5            .8.0  Counter64 2^32 + 1
//   .2.0   OCTET STRING "probe"                .9.0  Opaque 01 02
//   .3.0   OID 1.3.6.1.3.7777.42               .10.0 Unsigned32 9
//   .4.0   IpAddress 127.0.0.1                 .11.0 INTEGER, writable
//   .5.0   Counter32 4294967295                .12.0 SET n: raise n traps
//   .6.0   Gauge32 7                           .13.0 SET g: one generic trap g
//   .7.0   TimeTicks 12345                     .20.r 100 'x' each, r = 1..30
//   1.3.6.1.3.7778.1.0   OCTET STRING "second region"
//
// Init and Close are appended to the file named by PROBE_AGENT_LOG.
#include <windows.h>
#include <snmp.h>

#include <stdio.h>
#include <string.h>

#include <vector>

namespace {

const UINT kRegionA[] = { 1, 3, 6, 1, 3, 7777 };
const UINT kRegionB[] = { 1, 3, 6, 1, 3, 7778 };
UINT kTrapEnterprise[] = { 1, 3, 6, 1, 3, 7777, 99 };
const int kLongRows = 30;
const int kMaxQueuedTraps = 50;

struct ProbeObject {
    std::vector<UINT> name;
    BYTE type;
    LONG number;
    ULONGLONG big;
    std::vector<BYTE> bytes;
    std::vector<UINT> oid;
};

std::vector<ProbeObject> g_objects;
HANDLE g_trapEvent;
DWORD g_uptimeReference;
int g_pendingTraps;
int g_trapSerial;
int g_pendingGeneric = -1;
bool g_regionBGiven;

void Log(const char* text)
{
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("PROBE_AGENT_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    FILE* file = fopen(path, "a");
    if (file != NULL) {
        fprintf(file, "%s\n", text);
        fclose(file);
    }
}

ProbeObject& Add(std::initializer_list<UINT> name, BYTE type)
{
    g_objects.push_back(ProbeObject());
    g_objects.back().name = name;
    g_objects.back().type = type;
    return g_objects.back();
}

void BuildObjects()
{
    g_objects.clear();
    Add({ 1, 3, 6, 1, 3, 7777, 1, 0 }, ASN_INTEGER32).number = -5;
    const char probe[] = "probe";
    Add({ 1, 3, 6, 1, 3, 7777, 2, 0 }, ASN_OCTETSTRING).bytes.assign(probe, probe + 5);
    Add({ 1, 3, 6, 1, 3, 7777, 3, 0 }, ASN_OBJECTIDENTIFIER).oid = { 1, 3, 6, 1, 3, 7777, 42 };
    Add({ 1, 3, 6, 1, 3, 7777, 4, 0 }, ASN_IPADDRESS).bytes = { 127, 0, 0, 1 };
    Add({ 1, 3, 6, 1, 3, 7777, 5, 0 }, ASN_COUNTER32).number = (LONG)0xFFFFFFFFu;
    Add({ 1, 3, 6, 1, 3, 7777, 6, 0 }, ASN_GAUGE32).number = 7;
    Add({ 1, 3, 6, 1, 3, 7777, 7, 0 }, ASN_TIMETICKS).number = 12345;
    Add({ 1, 3, 6, 1, 3, 7777, 8, 0 }, ASN_COUNTER64).big = 0x100000001ull;
    Add({ 1, 3, 6, 1, 3, 7777, 9, 0 }, ASN_OPAQUE).bytes = { 1, 2 };
    Add({ 1, 3, 6, 1, 3, 7777, 10, 0 }, ASN_UINTEGER32).number = 9;
    Add({ 1, 3, 6, 1, 3, 7777, 11, 0 }, ASN_INTEGER32).number = 0;
    Add({ 1, 3, 6, 1, 3, 7777, 12, 0 }, ASN_INTEGER32).number = 0;
    Add({ 1, 3, 6, 1, 3, 7777, 13, 0 }, ASN_INTEGER32).number = 0;
    for (UINT row = 1; row <= (UINT)kLongRows; row++)
        Add({ 1, 3, 6, 1, 3, 7777, 20, row }, ASN_OCTETSTRING).bytes.assign(100, 'x');
    const char second[] = "second region";
    Add({ 1, 3, 6, 1, 3, 7778, 1, 0 }, ASN_OCTETSTRING).bytes.assign(second, second + 13);
}

int CompareNames(const UINT* left, UINT leftLength, const std::vector<UINT>& right)
{
    for (UINT i = 0; i < leftLength && i < right.size(); i++) {
        if (left[i] != right[i])
            return left[i] < right[i] ? -1 : 1;
    }
    if (leftLength == right.size())
        return 0;
    return leftLength < right.size() ? -1 : 1;
}

void SetName(AsnObjectIdentifier* name, const std::vector<UINT>& arcs)
{
    AsnObjectIdentifier source = { (UINT)arcs.size(), const_cast<UINT*>(arcs.data()) };
    SnmpUtilOidFree(name);
    SnmpUtilOidCpy(name, &source);
}

void SetValue(AsnAny* value, const ProbeObject& object)
{
    SnmpUtilAsnAnyFree(value);
    memset(value, 0, sizeof(*value));
    value->asnType = object.type;
    switch (object.type) {
    case ASN_OCTETSTRING:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
        value->asnValue.string.stream = (BYTE*)SnmpUtilMemAlloc((UINT)object.bytes.size() + 1);
        memcpy(value->asnValue.string.stream, object.bytes.data(), object.bytes.size());
        value->asnValue.string.length = (UINT)object.bytes.size();
        value->asnValue.string.dynamic = TRUE;
        break;
    case ASN_OBJECTIDENTIFIER: {
        AsnObjectIdentifier source = { (UINT)object.oid.size(), const_cast<UINT*>(object.oid.data()) };
        SnmpUtilOidCpy(&value->asnValue.object, &source);
        break;
    }
    case ASN_COUNTER64:
        value->asnValue.counter64.QuadPart = object.big;
        break;
    default:
        value->asnValue.number = object.number;
        break;
    }
}

ProbeObject* Find(const AsnObjectIdentifier& name)
{
    for (ProbeObject& object : g_objects) {
        if (CompareNames(name.ids, name.idLength, object.name) == 0)
            return &object;
    }
    return NULL;
}

AsnInteger32 Set(SnmpVarBind* binding)
{
    ProbeObject* object = Find(binding->name);
    if (object == NULL || object->name[6] < 11 || object->name[6] > 13)
        return SNMP_ERRORSTATUS_NOSUCHNAME;
    if (binding->value.asnType != ASN_INTEGER32)
        return SNMP_ERRORSTATUS_BADVALUE;
    LONG value = binding->value.asnValue.number;
    if (object->name[6] == 11) {
        object->number = value;
        return SNMP_ERRORSTATUS_NOERROR;
    }
    if (object->name[6] == 12 && (value < 1 || value > kMaxQueuedTraps))
        return SNMP_ERRORSTATUS_BADVALUE;
    if (object->name[6] == 13 && (value < 0 || value > 5))
        return SNMP_ERRORSTATUS_BADVALUE;
    if (object->name[6] == 12)
        g_pendingTraps = value;
    else
        g_pendingGeneric = value;
    g_trapSerial = 0;
    SetEvent(g_trapEvent);
    return SNMP_ERRORSTATUS_NOERROR;
}

AsnInteger32 Resolve(BYTE type, SnmpVarBind* binding)
{
    if (type == SNMP_PDU_SET)
        return Set(binding);
    if (type == SNMP_PDU_GET) {
        ProbeObject* object = Find(binding->name);
        if (object == NULL)
            return SNMP_ERRORSTATUS_NOSUCHNAME;
        SetValue(&binding->value, *object);
        return SNMP_ERRORSTATUS_NOERROR;
    }
    if (type != SNMP_PDU_GETNEXT)
        return SNMP_ERRORSTATUS_GENERR;
    for (const ProbeObject& object : g_objects) {
        if (CompareNames(binding->name.ids, binding->name.idLength, object.name) < 0) {
            SetName(&binding->name, object.name);
            SetValue(&binding->value, object);
            return SNMP_ERRORSTATUS_NOERROR;
        }
    }
    return SNMP_ERRORSTATUS_NOSUCHNAME;
}

void AddTrapBinding(SnmpVarBind* binding, const std::vector<UINT>& name, const ProbeObject& value)
{
    memset(binding, 0, sizeof(*binding));
    SetName(&binding->name, name);
    SetValue(&binding->value, value);
}

} // namespace

extern "C" {

__declspec(dllexport) BOOL WINAPI SnmpExtensionInit(DWORD uptimeReference, HANDLE* trapEvent, AsnObjectIdentifier* region)
{
    char line[64];
    BuildObjects();
    g_uptimeReference = uptimeReference;
    g_trapEvent = CreateEventW(NULL, FALSE, FALSE, NULL);
    *trapEvent = g_trapEvent;
    region->idLength = 6;
    region->ids = const_cast<UINT*>(kRegionA);
    g_regionBGiven = false;
    snprintf(line, sizeof(line), "init %lu", uptimeReference);
    Log(line);
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI SnmpExtensionInitEx(AsnObjectIdentifier* region)
{
    if (g_regionBGiven)
        return FALSE;
    g_regionBGiven = true;
    region->idLength = 6;
    region->ids = const_cast<UINT*>(kRegionB);
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI SnmpExtensionQuery(BYTE type, SnmpVarBindList* list, AsnInteger32* status, AsnInteger32* index)
{
    for (UINT i = 0; i < list->len; i++) {
        AsnInteger32 result = Resolve(type, &list->list[i]);
        if (result != SNMP_ERRORSTATUS_NOERROR) {
            *status = result;
            *index = (AsnInteger32)i + 1;
            return TRUE;
        }
    }
    *status = SNMP_ERRORSTATUS_NOERROR;
    *index = 0;
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI SnmpExtensionTrap(AsnObjectIdentifier* enterprise, AsnInteger32* generic, AsnInteger32* specific,
                              AsnTimeticks* stamp, SnmpVarBindList* bindings)
{
    if (g_pendingTraps == 0 && g_pendingGeneric < 0)
        return FALSE;
    enterprise->idLength = 7;
    enterprise->ids = kTrapEnterprise;
    *stamp = (GetTickCount() - g_uptimeReference) / 10;
    bindings->list = NULL;
    bindings->len = 0;
    if (g_pendingGeneric >= 0) {
        *generic = g_pendingGeneric;
        *specific = 0;
        g_pendingGeneric = -1;
        return TRUE;
    }
    g_trapSerial++;
    g_pendingTraps--;
    *generic = 6;
    *specific = 100 + g_trapSerial;
    char text[32];
    snprintf(text, sizeof(text), "trap %d", g_trapSerial);
    ProbeObject message;
    message.type = ASN_OCTETSTRING;
    message.bytes.assign(text, text + strlen(text));
    ProbeObject serial;
    serial.type = ASN_INTEGER32;
    serial.number = g_trapSerial;
    bindings->list = (SnmpVarBind*)SnmpUtilMemAlloc(2 * sizeof(SnmpVarBind));
    bindings->len = 2;
    AddTrapBinding(&bindings->list[0], { 1, 3, 6, 1, 3, 7777, 2, 0 }, message);
    AddTrapBinding(&bindings->list[1], { 1, 3, 6, 1, 3, 7777, 1, 0 }, serial);
    return TRUE;
}

__declspec(dllexport) VOID WINAPI SnmpExtensionClose()
{
    CloseHandle(g_trapEvent);
    Log("close");
}

} // extern "C"
