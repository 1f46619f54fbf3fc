// libFuzzer target for the packet codec, built natively with clang. What
// decodes must encode again to a message that decodes to the same thing,
// and the size functions must agree with the encoder.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "snmp_codec.h"

#define CAPACITY 64

static SnmpBinding g_first[CAPACITY];
static SnmpBinding g_second[CAPACITY];
static uint8_t g_encoded[70000];
static uint8_t g_tooSmall[70000];

static void Require(int condition)
{
    if (!condition)
        abort();
}

static void CompareValues(const SnmpValue* left, const SnmpValue* right)
{
    Require(left->type == right->type);
    Require(left->integer == right->integer && left->unsigned32 == right->unsigned32);
    Require(left->unsigned64 == right->unsigned64 && left->byteCount == right->byteCount);
    Require(left->byteCount == 0 || memcmp(left->bytes, right->bytes, left->byteCount) == 0);
    Require(SnmpCompareOids(&left->oid, &right->oid) == 0);
}

int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SnmpMessage first, second;
    if (SnmpDecodeMessage(data, size, &first, g_first, CAPACITY) != SNMP_DECODE_OK)
        return 0;
    size_t length = SnmpEncodeMessage(&first, g_encoded, sizeof(g_encoded));
    Require(length > 0 && length <= size);
    Require(SnmpEncodeMessage(&first, NULL, 0) == length);
    size_t bindingBytes = 0;
    for (size_t i = 0; i < first.bindingCount; i++)
        bindingBytes += SnmpBindingSize(&first.bindings[i]);
    Require(SnmpMessageSizeWithBindingBytes(&first, bindingBytes) == length);
    Require(SnmpEncodeMessage(&first, g_tooSmall, length - 1) == 0);
    Require(SnmpDecodeMessage(g_encoded, length, &second, g_second, CAPACITY) == SNMP_DECODE_OK);
    Require(first.version == second.version && first.pduType == second.pduType);
    Require(first.requestId == second.requestId && first.bindingCount == second.bindingCount);
    Require(first.communityLength == second.communityLength);
    for (size_t i = 0; i < first.bindingCount; i++) {
        Require(SnmpCompareOids(&g_first[i].name, &g_second[i].name) == 0);
        CompareValues(&g_first[i].value, &g_second[i].value);
    }
    return 0;
}
