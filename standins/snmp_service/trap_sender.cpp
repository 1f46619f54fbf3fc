#include "trap_sender.h"

#include <string.h>

#include "agent_host.h"
#include "snmp_codec.h"

#define MAX_TRAP_BINDINGS 64
// The v2c form adds three bindings around the agent's own.
#define ADDED_V2_BINDINGS 3
// One drain never takes more traps than this from an agent that keeps
// answering TRUE.
#define MAX_TRAPS_PER_DRAIN 100000
#define TRAP_BUFFER_BYTES 65507

static const uint32_t SYS_UP_TIME_ARCS[] = { 1, 3, 6, 1, 2, 1, 1, 3, 0 };
static const uint32_t SNMP_TRAP_OID_ARCS[] = { 1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0 };
static const uint32_t SNMP_TRAP_ENTERPRISE_ARCS[] = { 1, 3, 6, 1, 6, 3, 1, 1, 4, 3, 0 };
// snmpTraps: the generic traps 0 to 5 are its arcs 1 to 6.
static const uint32_t SNMP_TRAPS_ARCS[] = { 1, 3, 6, 1, 6, 3, 1, 1, 5 };

static SnmpBinding g_agentBindings[MAX_TRAP_BINDINGS];
static SnmpBinding g_wireBindings[MAX_TRAP_BINDINGS + ADDED_V2_BINDINGS];
static uint8_t g_trapBuffer[TRAP_BUFFER_BYTES];
static int32_t g_nextRequestId = 1;

static void SetOid(SnmpOid* oid, const uint32_t* arcs, uint32_t count)
{
    oid->length = count;
    memcpy(oid->arcs, arcs, count * sizeof(arcs[0]));
}

static void StartTrapMessage(const ServiceSettings* settings, SnmpMessage* message, int version)
{
    memset(message, 0, sizeof(*message));
    message->version = version;
    message->community = (const uint8_t*)settings->trapCommunity;
    message->communityLength = strlen(settings->trapCommunity);
    message->bindings = g_wireBindings;
}

// SNMPv1 cannot carry Counter64 or exceptions: such bindings are left out.
static size_t EncodeVersion1Trap(const CollectedTrap* trap, const ServiceSettings* settings)
{
    SnmpMessage message;
    StartTrapMessage(settings, &message, SNMP_VERSION_1);
    message.pduType = SNMP_TAG_TRAP_V1;
    message.enterprise = trap->enterprise;
    memcpy(message.agentAddress, &settings->listenAddress.sin_addr, 4);
    message.genericTrap = trap->genericTrap;
    message.specificTrap = trap->specificTrap;
    message.timeStamp = trap->timeStamp;
    for (size_t i = 0; i < trap->bindingCount; i++) {
        uint8_t type = trap->bindings[i].value.type;
        if (type != SNMP_TAG_COUNTER64 && type < SNMP_TAG_NO_SUCH_OBJECT)
            g_wireBindings[message.bindingCount++] = trap->bindings[i];
    }
    return SnmpEncodeMessage(&message, g_trapBuffer, sizeof(g_trapBuffer));
}

// The standard conversion: sysUpTime.0 from the time stamp, snmpTrapOID.0
// (the enterprise, 0 and the specific number for enterprise-specific traps,
// else the generic trap's own name), the bindings, snmpTrapEnterprise.0.
static size_t EncodeVersion2Trap(const CollectedTrap* trap, const ServiceSettings* settings)
{
    SnmpMessage message;
    StartTrapMessage(settings, &message, SNMP_VERSION_2C);
    message.pduType = SNMP_TAG_TRAP_V2;
    message.requestId = g_nextRequestId++;
    SnmpBinding* upTime = &g_wireBindings[message.bindingCount++];
    memset(upTime, 0, sizeof(*upTime));
    SetOid(&upTime->name, SYS_UP_TIME_ARCS, 9);
    upTime->value.type = SNMP_TAG_TIMETICKS;
    upTime->value.unsigned32 = trap->timeStamp;
    SnmpBinding* trapOid = &g_wireBindings[message.bindingCount++];
    memset(trapOid, 0, sizeof(*trapOid));
    SetOid(&trapOid->name, SNMP_TRAP_OID_ARCS, 11);
    trapOid->value.type = SNMP_TAG_OID;
    if (trap->genericTrap == 6 && trap->enterprise.length + 2 <= SNMP_MAX_OID_ARCS) {
        trapOid->value.oid = trap->enterprise;
        trapOid->value.oid.arcs[trapOid->value.oid.length++] = 0;
        trapOid->value.oid.arcs[trapOid->value.oid.length++] = (uint32_t)trap->specificTrap;
    } else {
        SetOid(&trapOid->value.oid, SNMP_TRAPS_ARCS, 9);
        trapOid->value.oid.arcs[trapOid->value.oid.length++] = (uint32_t)trap->genericTrap + 1;
    }
    for (size_t i = 0; i < trap->bindingCount; i++)
        g_wireBindings[message.bindingCount++] = trap->bindings[i];
    SnmpBinding* enterprise = &g_wireBindings[message.bindingCount++];
    memset(enterprise, 0, sizeof(*enterprise));
    SetOid(&enterprise->name, SNMP_TRAP_ENTERPRISE_ARCS, 11);
    enterprise->value.type = SNMP_TAG_OID;
    enterprise->value.oid = trap->enterprise;
    return SnmpEncodeMessage(&message, g_trapBuffer, sizeof(g_trapBuffer));
}

static void SendTrap(const CollectedTrap* trap, const ServiceSettings* settings, SOCKET trapSocket)
{
    for (int i = 0; i < settings->trapDestinationCount; i++) {
        const TrapDestination* destination = &settings->trapDestinations[i];
        size_t length = destination->version == SNMP_VERSION_1 ? EncodeVersion1Trap(trap, settings)
                                                                : EncodeVersion2Trap(trap, settings);
        if (length > 0)
            sendto(trapSocket, (const char*)g_trapBuffer, (int)length, 0,
                   (const SOCKADDR*)&destination->address, sizeof(destination->address));
    }
}

unsigned long SendAgentTraps(int agent, const ServiceSettings* settings, SOCKET trapSocket)
{
    static CollectedTrap trap;
    unsigned long count = 0;
    ResetAnswerStore();
    while (count < MAX_TRAPS_PER_DRAIN && CollectAgentTrap(agent, &trap, g_agentBindings, MAX_TRAP_BINDINGS)) {
        SendTrap(&trap, settings, trapSocket);
        ResetAnswerStore();
        count++;
    }
    return count;
}
