// Stand-in for the Windows SNMP service: hosts extension agents and serves
// them on UDP, so that ordinary SNMP managers can talk to the agents.
//
// One thread does all the work: it waits for a datagram, for an agent's
// trap event or for the stop event, and handles each in turn, so agents
// see one call at a time.
#include <winsock2.h>
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "agent_host.h"
#include "request_handler.h"
#include "service_settings.h"
#include "snmp_codec.h"
#include "trap_sender.h"

// Larger datagrams are dropped as oversized.
#define MAX_REQUEST_BYTES 8192
// Datagrams served before trap events and the stop event are looked at again.
#define DATAGRAMS_PER_WAKE 64

typedef struct DropCounts {
    unsigned long malformed;
    unsigned long badVersion;
    unsigned long unknownPdu;
    unsigned long notRequest;
    unsigned long badCommunity;
    unsigned long oversized;
} DropCounts;

static ServiceSettings g_settings;
static HANDLE g_stopEvent;
static DropCounts g_drops;
static unsigned long g_answered;
static unsigned long g_trapsSent;
static uint8_t g_packet[MAX_REQUEST_BYTES];
static uint8_t g_response[RESPONSE_LIMIT_BYTES];
static SnmpMessage g_request;
static SnmpBinding g_requestBindings[SNMP_MAX_BINDINGS];

static BOOL WINAPI OnConsoleControl(DWORD controlType)
{
    (void)controlType;
    SetEvent(g_stopEvent);
    return TRUE;
}

// Named after the listen address, so that --stop finds the right instance.
static void StopEventName(const SOCKADDR_IN* address, WCHAR* name, size_t nameChars)
{
    const BYTE* ip = (const BYTE*)&address->sin_addr;
    _snwprintf(name, nameChars, L"Local\\snmp_service-stop-%u.%u.%u.%u-%u", ip[0], ip[1], ip[2], ip[3],
               ntohs(address->sin_port));
    name[nameChars - 1] = L'\0';
}

static void FormatAddress(const SOCKADDR_IN* address, WCHAR* text, size_t textChars)
{
    const BYTE* ip = (const BYTE*)&address->sin_addr;
    _snwprintf(text, textChars, L"%u.%u.%u.%u:%u", ip[0], ip[1], ip[2], ip[3], ntohs(address->sin_port));
    text[textChars - 1] = L'\0';
}

static int RequestStop(void)
{
    WCHAR name[96], address[32];
    StopEventName(&g_settings.listenAddress, name, 96);
    FormatAddress(&g_settings.listenAddress, address, 32);
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, name);
    if (event == NULL) {
        fwprintf(stderr, L"snmp_service: no instance serves %ls\n", address);
        return 1;
    }
    SetEvent(event);
    CloseHandle(event);
    return 0;
}

static BOOL CommunityIs(const SnmpMessage* message, const char* community)
{
    size_t length = strlen(community);
    return length > 0 && message->communityLength == length && memcmp(message->community, community, length) == 0;
}

static BOOL IsServedRequest(const SnmpMessage* message)
{
    switch (message->pduType) {
    case SNMP_TAG_GET_REQUEST:
    case SNMP_TAG_GET_NEXT_REQUEST:
    case SNMP_TAG_SET_REQUEST:
        return TRUE;
    case SNMP_TAG_GET_BULK_REQUEST:
        return message->version == SNMP_VERSION_2C;
    default:
        return FALSE;
    }
}

static BOOL CountDecodeFailure(SnmpDecodeResult result)
{
    switch (result) {
    case SNMP_DECODE_OK:
        return FALSE;
    case SNMP_DECODE_BAD_VERSION:
        g_drops.badVersion++;
        break;
    case SNMP_DECODE_UNKNOWN_PDU:
        g_drops.unknownPdu++;
        break;
    case SNMP_DECODE_TOO_MANY_BINDINGS:
        g_drops.oversized++;
        break;
    default:
        g_drops.malformed++;
        break;
    }
    return TRUE;
}

static void HandleDatagram(SOCKET socket, size_t length, const SOCKADDR_IN* from)
{
    SnmpDecodeResult result = SnmpDecodeMessage(g_packet, length, &g_request, g_requestBindings, SNMP_MAX_BINDINGS);
    if (CountDecodeFailure(result))
        return;
    if (!IsServedRequest(&g_request)) {
        g_drops.notRequest++;
        return;
    }
    BOOL writeAllowed = CommunityIs(&g_request, g_settings.writeCommunity);
    if (!writeAllowed && !CommunityIs(&g_request, g_settings.readCommunity)) {
        g_drops.badCommunity++;
        return;
    }
    size_t responseLength = AnswerRequest(&g_request, writeAllowed, g_response, sizeof(g_response));
    if (responseLength == 0) {
        g_drops.oversized++;
        return;
    }
    sendto(socket, (const char*)g_response, (int)responseLength, 0, (const SOCKADDR*)from, sizeof(*from));
    g_answered++;
}

static void ServeDatagrams(SOCKET socket)
{
    for (int served = 0; served < DATAGRAMS_PER_WAKE; served++) {
        SOCKADDR_IN from;
        int fromLength = sizeof(from);
        int received = recvfrom(socket, (char*)g_packet, sizeof(g_packet), 0, (SOCKADDR*)&from, &fromLength);
        if (received == SOCKET_ERROR) {
            int error = WSAGetLastError();
            if (error == WSAEMSGSIZE) {
                g_drops.oversized++;
                continue;
            }
            if (error == WSAECONNRESET)
                continue;
            return;
        }
        if (fromLength == (int)sizeof(from) && from.sin_family == AF_INET)
            HandleDatagram(socket, (size_t)received, &from);
    }
}

static SOCKET OpenListenSocket(void)
{
    SOCKET listener = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (listener == INVALID_SOCKET)
        return INVALID_SOCKET;
    if (bind(listener, (const SOCKADDR*)&g_settings.listenAddress, sizeof(g_settings.listenAddress)) != 0) {
        closesocket(listener);
        return INVALID_SOCKET;
    }
    return listener;
}

// Waits on the stop event, the socket and every agent's trap event.
static void RunServiceLoop(SOCKET listener, SOCKET trapSocket)
{
    HANDLE handles[2 + MAX_AGENTS];
    int agentOfHandle[2 + MAX_AGENTS];
    DWORD count = 0;
    WSAEVENT readable = WSACreateEvent();
    WSAEventSelect(listener, readable, FD_READ);
    handles[count++] = g_stopEvent;
    handles[count++] = readable;
    for (int agent = 0; agent < AgentCount(); agent++) {
        if (AgentTrapEvent(agent) != NULL) {
            agentOfHandle[count] = agent;
            handles[count++] = AgentTrapEvent(agent);
        }
    }
    for (;;) {
        DWORD signalled = WaitForMultipleObjects(count, handles, FALSE, INFINITE);
        if (signalled == WAIT_OBJECT_0 || signalled >= WAIT_OBJECT_0 + count)
            break;
        if (signalled == WAIT_OBJECT_0 + 1) {
            WSANETWORKEVENTS events;
            WSAEnumNetworkEvents(listener, readable, &events);
            ServeDatagrams(listener);
        } else {
            g_trapsSent += SendAgentTraps(agentOfHandle[signalled - WAIT_OBJECT_0], &g_settings, trapSocket);
        }
    }
    WSAEventSelect(listener, readable, 0);
    WSACloseEvent(readable);
}

static void PrintSummary(void)
{
    unsigned long dropped = g_drops.malformed + g_drops.badVersion + g_drops.unknownPdu + g_drops.notRequest
        + g_drops.badCommunity + g_drops.oversized;
    wprintf(L"snmp_service: answered %lu requests, sent %lu traps; dropped %lu datagrams "
            L"(malformed %lu, bad version %lu, unknown PDU %lu, not a request %lu, bad community %lu, "
            L"oversized %lu)\n",
            g_answered, g_trapsSent, dropped, g_drops.malformed, g_drops.badVersion, g_drops.unknownPdu,
            g_drops.notRequest, g_drops.badCommunity, g_drops.oversized);
    fflush(stdout);
}

static void PrintRegions(void)
{
    for (int i = 0; i < RegionCount(); i++) {
        const AgentRegion* region = RegionAt(i);
        wprintf(L"snmp_service: region ");
        for (uint32_t arc = 0; arc < region->prefix.length; arc++)
            wprintf(arc == 0 ? L"%lu" : L".%lu", (unsigned long)region->prefix.arcs[arc]);
        wprintf(L" served by %ls\n", AgentPath(region->agent));
    }
}

static int Serve(void)
{
    WCHAR error[512], name[96], address[32];
    FormatAddress(&g_settings.listenAddress, address, 32);
    StopEventName(&g_settings.listenAddress, name, 96);
    g_stopEvent = CreateEventW(NULL, TRUE, FALSE, name);
    SOCKET listener = OpenListenSocket();
    if (g_stopEvent == NULL || listener == INVALID_SOCKET) {
        fwprintf(stderr, L"snmp_service: cannot listen on %ls (error %d)\n", address, WSAGetLastError());
        return 1;
    }
    SOCKET trapSocket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (!LoadAgents(&g_settings, GetTickCount(), error, 512)) {
        fwprintf(stderr, L"snmp_service: %ls\n", error);
        CloseAgents();
        return 1;
    }
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    PrintRegions();
    wprintf(L"snmp_service: serving %d agents in %d regions on %ls\n", AgentCount(), RegionCount(), address);
    fflush(stdout);
    RunServiceLoop(listener, trapSocket);
    CloseAgents();
    closesocket(trapSocket);
    closesocket(listener);
    PrintSummary();
    return 0;
}

int wmain(int argc, WCHAR** argv)
{
    WCHAR error[256];
    if (!ParseServiceSettings(argc - 1, argv + 1, &g_settings, error, 256)) {
        fwprintf(stderr, L"snmp_service: %ls\nTry snmp_service.exe --help.\n", error);
        return 2;
    }
    if (g_settings.showHelp) {
        wprintf(L"%ls", ServiceUsageText());
        return 0;
    }
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) {
        fwprintf(stderr, L"snmp_service: Winsock did not start\n");
        return 1;
    }
    int status = g_settings.stopRequest ? RequestStop() : Serve();
    WSACleanup();
    return status;
}
