// SnmpExtensionTrap's work: each call turns the next pending event record
// into one version-1 trap; the call that finds none left ends the drain.
#include <stdio.h>
#include <string.h>

#include "inventory/reply_fields.h"
#include "mib/mib_support.h"
#include "trap_state.h"
#include "traps.h"

#define ENTERPRISE_ARCS 11
#define BINDING_NAME_ARCS 12
#define TRAP_BINDINGS 3
#define TRAP_TEXT_BYTES 512
#define DESCRIPTION_ROOM (EVENT_RECORD_BYTES - EVENT_DESCRIPTION_OFFSET)

static UINT g_enterpriseArcs[ENTERPRISE_ARCS] = {1, 3, 6, 1, 4, 1, 32473, 1, 1, 1, 13};
static const UINT g_bindingNameArcs[TRAP_BINDINGS][BINDING_NAME_ARCS] = {
    {1, 3, 6, 1, 4, 1, 32473, 1, 1, 1, 13, 1},
    {1, 3, 6, 1, 4, 1, 32473, 1, 1, 1, 13, 2},
    {1, 3, 6, 1, 4, 1, 32473, 1, 1, 1, 13, 3},
};

static BOOL SetTrapBindingName(SnmpVarBind* binding, int which)
{
    binding->name.ids = (UINT*)SnmpUtilMemAlloc(BINDING_NAME_ARCS * sizeof(UINT));
    if (binding->name.ids == NULL)
        return FALSE;
    CopyArcs(g_bindingNameArcs[which], (BYTE*)binding->name.ids, BINDING_NAME_ARCS);
    binding->name.idLength = BINDING_NAME_ARCS;
    return TRUE;
}

static void SetIntegerValue(SnmpVarBind* binding, AsnInteger32 number)
{
    binding->value.asnType = ASN_INTEGER;
    binding->value.asnValue.number = number;
}

// The stream keeps the text's NUL; the length leaves it out.
static BOOL SetTrapText(SnmpVarBind* binding, const char* text)
{
    UINT length = (UINT)strlen(text);
    BYTE* stream = (BYTE*)SnmpUtilMemAlloc(length + 1);
    if (stream == NULL)
        return FALSE;
    memcpy(stream, text, length + 1);
    binding->value.asnType = ASN_OCTETSTRING;
    binding->value.asnValue.string.stream = stream;
    binding->value.asnValue.string.length = length;
    binding->value.asnValue.string.dynamic = TRUE;
    return TRUE;
}

// "Controller #%d: %s" of the controller asked last and the description,
// which ends at the record's end when it has no NUL.
static void FormatTrapText(char* text, const BYTE* record)
{
    char description[DESCRIPTION_ROOM + 1];
    CopyReplyText(description, sizeof(description), record + EVENT_DESCRIPTION_OFFSET, DESCRIPTION_ROOM);
    snprintf(text, TRAP_TEXT_BYTES, "Controller #%d: %s", (int)(g_controllerCursor - 1), description);
}

static BOOL FillTrapBindings(SnmpVarBind* list, AsnInteger32 specificTrap, const BYTE* record)
{
    char text[TRAP_TEXT_BYTES];
    FormatTrapText(text, record);
    for (int k = 0; k < TRAP_BINDINGS; k++)
        if (!SetTrapBindingName(&list[k], k))
            return FALSE;
    SetIntegerValue(&list[0], specificTrap);
    SetIntegerValue(&list[2], specificTrap);
    return SetTrapText(&list[1], text);
}

static void FreeTrapBindings(SnmpVarBind* list)
{
    for (int k = 0; k < TRAP_BINDINGS; k++) {
        SnmpUtilOidFree(&list[k].name);
        ClearValue(&list[k].value);
    }
    SnmpUtilMemFree(list);
}

// Hands over a trap with zero-filled bindings built in place; FALSE when a
// block cannot be allocated.
static BOOL BuildTrapBindings(SnmpVarBindList* bindings, AsnInteger32 specificTrap, const BYTE* record)
{
    SnmpVarBind* list = (SnmpVarBind*)SnmpUtilMemAlloc(TRAP_BINDINGS * sizeof(SnmpVarBind));
    if (list == NULL)
        return FALSE;
    ZeroMemory(list, TRAP_BINDINGS * sizeof(SnmpVarBind));
    if (!FillTrapBindings(list, specificTrap, record)) {
        FreeTrapBindings(list);
        return FALSE;
    }
    bindings->list = list;
    bindings->len = TRAP_BINDINGS;
    return TRUE;
}

// Without memory the rest of this reply's events are dropped and the drain
// ends, so that the event poller goes on.
static BOOL DropPendingEvents()
{
    g_pendingEventCount = 0;
    LeaveCriticalSection(&g_trapLock);
    SetEvent(g_trapDrainEvent);
    return FALSE;
}

BOOL BuildNextTrap(AsnObjectIdentifier* enterprise, AsnInteger32* genericTrap, AsnInteger32* specificTrap,
                   AsnTimeticks* timeStamp, SnmpVarBindList* bindings)
{
    if (g_pendingEventCount <= 0) {
        SetEvent(g_trapDrainEvent);
        return FALSE;
    }
    EnterCriticalSection(&g_trapLock);
    if (g_trapIndex >= (LONG)EVENT_RECORDS_IN_BUFFER)
        return DropPendingEvents();
    const BYTE* record = g_eventBuffer + I2_REPLY_HEADER_BYTES + g_trapIndex * EVENT_RECORD_BYTES;
    g_trapIndex++;
    AsnInteger32 specific = SpecificTrapForEvent(ReadReplyU32(record, EVENT_CODE_OFFSET));
    if (!BuildTrapBindings(bindings, specific, record))
        return DropPendingEvents();
    enterprise->idLength = ENTERPRISE_ARCS;
    enterprise->ids = g_enterpriseArcs;
    *genericTrap = SNMP_GENERICTRAP_ENTERSPECIFIC;
    *specificTrap = specific;
    *timeStamp = (GetTickCount() - g_uptimeReference) / 10;
    g_pendingEventCount--;
    LeaveCriticalSection(&g_trapLock);
    return TRUE;
}
