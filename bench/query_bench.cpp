// In-process cost of one SnmpExtensionQuery binding: loads an extension
// agent and walks its region with one-binding GETNEXT queries, as the SNMP
// service does, timing only the agent calls.
//   query_bench.exe AGENT.dll [ROUNDS]
#include <windows.h>
#include <snmp.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static BOOL StartsWith(const AsnObjectIdentifier* name, const AsnObjectIdentifier* prefix)
{
    if (name->idLength < prefix->idLength)
        return FALSE;
    return memcmp(name->ids, prefix->ids, prefix->idLength * sizeof(UINT)) == 0;
}

// What SnmpUtilAsnAnyFree does; the 32-bit import library lacks it.
static void FreeValue(AsnAny* value)
{
    if (value->asnType == ASN_OBJECTIDENTIFIER)
        SnmpUtilOidFree(&value->asnValue.object);
    else if ((value->asnType == ASN_OCTETSTRING || value->asnType == ASN_IPADDRESS || value->asnType == ASN_OPAQUE
              || value->asnType == ASN_BITS) && value->asnValue.string.dynamic)
        SnmpUtilMemFree(value->asnValue.string.stream);
    value->asnType = ASN_NULL;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        fwprintf(stderr, L"usage: query_bench.exe AGENT.dll [ROUNDS]\n");
        return 2;
    }
    int rounds = argc > 2 ? _wtoi(argv[2]) : 20;
    HMODULE module = LoadLibraryW(argv[1]);
    if (module == NULL) {
        fwprintf(stderr, L"cannot load %ls\n", argv[1]);
        return 1;
    }
    PFNSNMPEXTENSIONINIT init = (PFNSNMPEXTENSIONINIT)(void*)GetProcAddress(module, "SnmpExtensionInit");
    PFNSNMPEXTENSIONQUERY query = (PFNSNMPEXTENSIONQUERY)(void*)GetProcAddress(module, "SnmpExtensionQuery");
    PFNSNMPEXTENSIONCLOSE close = (PFNSNMPEXTENSIONCLOSE)(void*)GetProcAddress(module, "SnmpExtensionClose");
    HANDLE trapEvent = NULL;
    AsnObjectIdentifier region = { 0, NULL };
    if (init == NULL || query == NULL || !init(GetTickCount(), &trapEvent, &region)) {
        fwprintf(stderr, L"%ls did not initialise\n", argv[1]);
        return 1;
    }
    // Wine's inetmib1 announces its system group but serves all of MIB-II.
    AsnObjectIdentifier walked;
    SnmpUtilOidCpy(&walked, &region);
    if (walked.idLength == 7 && walked.ids[5] == 1 && walked.ids[4] == 2)
        walked.idLength = 6;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    LONGLONG ticks = 0;
    long bindings = 0;
    for (int round = 0; round < rounds; round++) {
        SnmpVarBindList list;
        list.list = (SnmpVarBind*)SnmpUtilMemAlloc(sizeof(SnmpVarBind));
        list.len = 1;
        memset(list.list, 0, sizeof(SnmpVarBind));
        SnmpUtilOidCpy(&list.list[0].name, &walked);
        list.list[0].value.asnType = ASN_NULL;
        for (;;) {
            AsnInteger32 status = 0, index = 0;
            QueryPerformanceCounter(&start);
            query(SNMP_PDU_GETNEXT, &list, &status, &index);
            QueryPerformanceCounter(&end);
            ticks += end.QuadPart - start.QuadPart;
            if (status != SNMP_ERRORSTATUS_NOERROR || !StartsWith(&list.list[0].name, &walked))
                break;
            bindings++;
            FreeValue(&list.list[0].value);
        }
        SnmpUtilVarBindListFree(&list);
    }
    double microseconds = (double)ticks * 1e6 / (double)frequency.QuadPart;
    wprintf(L"%ls: %ld bindings in %d walks, %.2f us per binding\n", argv[1], bindings, rounds,
            bindings > 0 ? microseconds / (double)bindings : 0.0);
    SnmpUtilOidFree(&walked);
    if (close != NULL)
        close();
    return 0;
}
