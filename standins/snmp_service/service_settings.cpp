#include "service_settings.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "snmp_codec.h"

static const WCHAR USAGE_TEXT[] =
    L"Usage: snmp_service.exe --agent DLL [--agent DLL ...] [options]\n"
    L"\n"
    L"Hosts SNMP extension agents and answers SNMPv1 and SNMPv2c requests\n"
    L"(GET, GETNEXT, GETBULK, SET) on UDP through them.\n"
    L"\n"
    L"  --agent DLL              extension agent to load (at most 16)\n"
    L"  --region OID             serve OID's subtree through the --agent before it,\n"
    L"                           besides the regions the agent announces\n"
    L"  --listen ADDRESS:PORT    UDP address to serve (default 127.0.0.1:161)\n"
    L"  --community READ         community for GET, GETNEXT, GETBULK (default public)\n"
    L"  --write-community WRITE  community that may also SET (default: none, no SET)\n"
    L"  --trap-to ADDRESS:PORT   send the agents' traps there (at most 8)\n"
    L"  --trap-version 1|2c      form of the traps for the --trap-to before it\n"
    L"                           (default 1: SNMPv1 Trap-PDU)\n"
    L"  --trap-community NAME    community of the traps (default: the read community)\n"
    L"  --stop                   ask the instance serving --listen to shut down\n"
    L"  --help                   show this text\n"
    L"\n"
    L"Requests with another community, malformed ones and ones over 8192\n"
    L"bytes are dropped unanswered and counted. Responses are kept within\n"
    L"1472 bytes. Ctrl+C or --stop shuts down cleanly: every agent is closed\n"
    L"and the counts are printed on the way out.\n";

const WCHAR* ServiceUsageText(void)
{
    return USAGE_TEXT;
}

static BOOL ParseDecimal(const WCHAR** cursor, unsigned long limit, unsigned long* value)
{
    const WCHAR* p = *cursor;
    unsigned long number = 0;
    int digits = 0;
    while (*p >= L'0' && *p <= L'9' && digits < 6) {
        number = number * 10 + (unsigned long)(*p - L'0');
        p++;
        digits++;
    }
    if (digits == 0 || number > limit || (*p >= L'0' && *p <= L'9'))
        return FALSE;
    *cursor = p;
    *value = number;
    return TRUE;
}

BOOL ParseOidText(const WCHAR* text, SnmpOid* oid)
{
    const WCHAR* p = text[0] == L'.' ? text + 1 : text;
    oid->length = 0;
    for (;;) {
        const WCHAR* start = p;
        unsigned long long arc = 0;
        while (*p >= L'0' && *p <= L'9' && arc <= 0xFFFFFFFFull)
            arc = arc * 10 + (unsigned)(*p++ - L'0');
        if (p == start || arc > 0xFFFFFFFFull || oid->length == SNMP_MAX_OID_ARCS)
            return FALSE;
        oid->arcs[oid->length++] = (uint32_t)arc;
        if (*p == L'\0')
            return oid->length >= 2;
        if (*p++ != L'.')
            return FALSE;
    }
}

BOOL ParseUdpAddress(const WCHAR* text, SOCKADDR_IN* address)
{
    const WCHAR* p = text;
    unsigned long octets[4];
    unsigned long port;
    for (int i = 0; i < 4; i++) {
        if (!ParseDecimal(&p, 255, &octets[i]))
            return FALSE;
        if (*p++ != (i < 3 ? L'.' : L':'))
            return FALSE;
    }
    if (!ParseDecimal(&p, 65535, &port) || port == 0 || *p != L'\0')
        return FALSE;
    memset(address, 0, sizeof(*address));
    address->sin_family = AF_INET;
    address->sin_port = htons((u_short)port);
    address->sin_addr.s_addr =
        htonl((u_long)((octets[0] << 24) | (octets[1] << 16) | (octets[2] << 8) | octets[3]));
    return TRUE;
}

// Communities travel as bytes: the UTF-8 form of the argument.
static BOOL CopyCommunity(const WCHAR* text, char* community)
{
    if (text[0] == L'\0')
        return FALSE;
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, community, MAX_COMMUNITY_BYTES + 1, NULL, NULL);
    return length > 0;
}

static BOOL Refuse(WCHAR* error, size_t errorChars, const WCHAR* format, const WCHAR* argument)
{
    _snwprintf(error, errorChars, format, argument);
    error[errorChars - 1] = L'\0';
    return FALSE;
}

static void SetDefaults(ServiceSettings* settings)
{
    memset(settings, 0, sizeof(*settings));
    ParseUdpAddress(L"127.0.0.1:161", &settings->listenAddress);
    strcpy(settings->readCommunity, "public");
}

BOOL ParseServiceSettings(int argc, WCHAR** argv, ServiceSettings* settings, WCHAR* error, size_t errorChars)
{
    BOOL listenGiven = FALSE, readGiven = FALSE, writeGiven = FALSE, trapCommunityGiven = FALSE;
    BOOL versionGiven[MAX_TRAP_DESTINATIONS] = { FALSE };
    SetDefaults(settings);
    for (int i = 0; i < argc; i++) {
        const WCHAR* option = argv[i];
        if (wcscmp(option, L"--help") == 0 || wcscmp(option, L"-h") == 0 || wcscmp(option, L"/?") == 0) {
            settings->showHelp = TRUE;
            return TRUE;
        }
        if (wcscmp(option, L"--stop") == 0) {
            settings->stopRequest = TRUE;
            continue;
        }
        BOOL known = wcscmp(option, L"--agent") == 0 || wcscmp(option, L"--region") == 0 || wcscmp(option, L"--listen") == 0
            || wcscmp(option, L"--community") == 0 || wcscmp(option, L"--write-community") == 0
            || wcscmp(option, L"--trap-to") == 0 || wcscmp(option, L"--trap-version") == 0
            || wcscmp(option, L"--trap-community") == 0;
        if (!known)
            return Refuse(error, errorChars, L"unknown argument \"%ls\"", option);
        if (i + 1 >= argc)
            return Refuse(error, errorChars, L"%ls needs a value", option);
        const WCHAR* value = argv[++i];
        if (wcscmp(option, L"--agent") == 0) {
            if (value[0] == L'\0')
                return Refuse(error, errorChars, L"%ls needs a file name", option);
            if (settings->agentCount == MAX_AGENTS)
                return Refuse(error, errorChars, L"too many agents (at most 16): \"%ls\"", value);
            settings->agentPaths[settings->agentCount++] = value;
        } else if (wcscmp(option, L"--region") == 0) {
            if (settings->agentCount == 0)
                return Refuse(error, errorChars, L"%ls must follow an --agent", option);
            if (settings->extraRegionCount == MAX_EXTRA_REGIONS)
                return Refuse(error, errorChars, L"too many regions (at most 32): \"%ls\"", value);
            if (!ParseOidText(value, &settings->extraRegions[settings->extraRegionCount]))
                return Refuse(error, errorChars, L"bad region \"%ls\" (expected a dotted OID such as 1.3.6.1.2.1)", value);
            settings->extraRegionAgents[settings->extraRegionCount++] = settings->agentCount - 1;
        } else if (wcscmp(option, L"--listen") == 0) {
            if (listenGiven)
                return Refuse(error, errorChars, L"%ls given twice", option);
            if (!ParseUdpAddress(value, &settings->listenAddress))
                return Refuse(error, errorChars, L"bad address \"%ls\" (expected a.b.c.d:port)", value);
            listenGiven = TRUE;
        } else if (wcscmp(option, L"--community") == 0) {
            if (readGiven)
                return Refuse(error, errorChars, L"%ls given twice", option);
            if (!CopyCommunity(value, settings->readCommunity))
                return Refuse(error, errorChars, L"bad community \"%ls\" (1 to 255 bytes)", value);
            readGiven = TRUE;
        } else if (wcscmp(option, L"--write-community") == 0) {
            if (writeGiven)
                return Refuse(error, errorChars, L"%ls given twice", option);
            if (!CopyCommunity(value, settings->writeCommunity))
                return Refuse(error, errorChars, L"bad community \"%ls\" (1 to 255 bytes)", value);
            writeGiven = TRUE;
        } else if (wcscmp(option, L"--trap-community") == 0) {
            if (trapCommunityGiven)
                return Refuse(error, errorChars, L"%ls given twice", option);
            if (!CopyCommunity(value, settings->trapCommunity))
                return Refuse(error, errorChars, L"bad community \"%ls\" (1 to 255 bytes)", value);
            trapCommunityGiven = TRUE;
        } else if (wcscmp(option, L"--trap-to") == 0) {
            if (settings->trapDestinationCount == MAX_TRAP_DESTINATIONS)
                return Refuse(error, errorChars, L"too many trap destinations (at most 8): \"%ls\"", value);
            TrapDestination* destination = &settings->trapDestinations[settings->trapDestinationCount];
            if (!ParseUdpAddress(value, &destination->address))
                return Refuse(error, errorChars, L"bad address \"%ls\" (expected a.b.c.d:port)", value);
            destination->version = SNMP_VERSION_1;
            settings->trapDestinationCount++;
        } else {
            int last = settings->trapDestinationCount - 1;
            if (last < 0)
                return Refuse(error, errorChars, L"%ls must follow a --trap-to", option);
            if (versionGiven[last])
                return Refuse(error, errorChars, L"%ls given twice for one --trap-to", option);
            if (wcscmp(value, L"1") == 0)
                settings->trapDestinations[last].version = SNMP_VERSION_1;
            else if (wcscmp(value, L"2c") == 0)
                settings->trapDestinations[last].version = SNMP_VERSION_2C;
            else
                return Refuse(error, errorChars, L"bad trap version \"%ls\" (1 or 2c)", value);
            versionGiven[last] = TRUE;
        }
    }
    if (settings->agentCount == 0 && !settings->stopRequest)
        return Refuse(error, errorChars, L"%ls", L"no --agent given");
    if (!trapCommunityGiven)
        strcpy(settings->trapCommunity, settings->readCommunity);
    return TRUE;
}
