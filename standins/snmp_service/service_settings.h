#pragma once
// The stand-in's command line: which agents to host, where to listen, the
// communities, and where traps go.
#include <winsock2.h>
#include <windows.h>

#include "snmp_codec.h"

#define MAX_AGENTS 16
#define MAX_TRAP_DESTINATIONS 8
#define MAX_COMMUNITY_BYTES 255
#define MAX_EXTRA_REGIONS 32

typedef struct TrapDestination {
    SOCKADDR_IN address;
    int version; // SNMP_VERSION_1 or SNMP_VERSION_2C
} TrapDestination;

typedef struct ServiceSettings {
    BOOL showHelp;
    BOOL stopRequest;          // --stop: ask the instance on listenAddress to end
    const WCHAR* agentPaths[MAX_AGENTS];
    int agentCount;
    // Regions given on the command line, each for the --agent before it.
    SnmpOid extraRegions[MAX_EXTRA_REGIONS];
    int extraRegionAgents[MAX_EXTRA_REGIONS];
    int extraRegionCount;
    SOCKADDR_IN listenAddress;
    char readCommunity[MAX_COMMUNITY_BYTES + 1];
    char writeCommunity[MAX_COMMUNITY_BYTES + 1]; // empty: no SET is allowed
    char trapCommunity[MAX_COMMUNITY_BYTES + 1];
    TrapDestination trapDestinations[MAX_TRAP_DESTINATIONS];
    int trapDestinationCount;
} ServiceSettings;

// Fills settings from the arguments after the program name. On a refusal
// returns FALSE with a one-line reason in error.
BOOL ParseServiceSettings(int argc, WCHAR** argv, ServiceSettings* settings, WCHAR* error, size_t errorChars);

// The --help text.
const WCHAR* ServiceUsageText(void);

// Parses a dotted OID such as "1.3.6.1.2.1" (a leading dot is allowed).
BOOL ParseOidText(const WCHAR* text, SnmpOid* oid);

// Parses "a.b.c.d:port" (dotted IPv4, port 1 to 65535).
BOOL ParseUdpAddress(const WCHAR* text, SOCKADDR_IN* address);
