#pragma once
// Collects an agent's traps after its trap event and sends each one to
// every trap destination, as an SNMPv1 Trap-PDU or converted to an
// SNMPv2c trap.
#include <winsock2.h>

#include "service_settings.h"

// Calls the agent's SnmpExtensionTrap until it answers FALSE; returns the
// number of traps collected.
unsigned long SendAgentTraps(int agent, const ServiceSettings* settings, SOCKET trapSocket);
