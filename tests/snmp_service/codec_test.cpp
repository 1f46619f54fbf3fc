// The packet codec against byte strings written by hand from the BER rules.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "snmp_codec.h"

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes Hex(const char* text)
{
    Bytes bytes;
    for (const char* p = text; p[0] != '\0' && p[1] != '\0';) {
        if (p[0] == ' ') {
            p++;
            continue;
        }
        unsigned value = 0;
        sscanf(p, "%2x", &value);
        bytes.push_back((uint8_t)value);
        p += 2;
    }
    return bytes;
}

SnmpOid Oid(std::initializer_list<uint32_t> arcs)
{
    SnmpOid oid = {};
    for (uint32_t arc : arcs)
        oid.arcs[oid.length++] = arc;
    return oid;
}

struct Decoded {
    SnmpDecodeResult result;
    SnmpMessage message;
    std::vector<SnmpBinding> bindings;
};

Decoded Decode(const Bytes& packet, size_t capacity = 8)
{
    Decoded decoded;
    decoded.bindings.resize(capacity);
    decoded.result = SnmpDecodeMessage(packet.data(), packet.size(), &decoded.message, decoded.bindings.data(), capacity);
    return decoded;
}

Bytes Encode(const SnmpMessage& message, size_t capacity = 2048)
{
    Bytes buffer(capacity);
    size_t length = SnmpEncodeMessage(&message, buffer.data(), buffer.size());
    buffer.resize(length);
    return buffer;
}

// GetRequest, v2c, community "public", request id 0x1234, one binding
// 1.3.6.1.2.1.1.1.0 with NULL: what snmpget sends.
const char kGetRequest[] =
    "30 29 02 01 01 04 06 70 75 62 6c 69 63 a0 1c 02 02 12 34 02 01 00 02 01 00"
    " 30 10 30 0e 06 0a 2b 06 01 04 01 81 fd 59 01 00 05 00";

TEST(SnmpCodec, DecodesAGetRequest)
{
    Decoded decoded = Decode(Hex(kGetRequest));
    ASSERT_EQ(SNMP_DECODE_OK, decoded.result);
    EXPECT_EQ(SNMP_VERSION_2C, decoded.message.version);
    EXPECT_EQ(std::string("public"), std::string((const char*)decoded.message.community, decoded.message.communityLength));
    EXPECT_EQ(SNMP_TAG_GET_REQUEST, decoded.message.pduType);
    EXPECT_EQ(0x1234, decoded.message.requestId);
    ASSERT_EQ(1u, decoded.message.bindingCount);
    SnmpOid expected = Oid({ 1, 3, 6, 1, 4, 1, 32473, 1, 0 });
    EXPECT_EQ(0, SnmpCompareOids(&expected, &decoded.bindings[0].name));
    EXPECT_EQ(SNMP_TAG_NULL, decoded.bindings[0].value.type);
}

TEST(SnmpCodec, EncodesAResponseByteForByte)
{
    SnmpBinding bindings[2] = {};
    bindings[0].name = Oid({ 1, 3, 6, 1, 4, 1, 32473, 1, 0 });
    bindings[0].value.type = SNMP_TAG_OCTET_STRING;
    bindings[0].value.bytes = (const uint8_t*)"ab";
    bindings[0].value.byteCount = 2;
    bindings[1].name = Oid({ 1, 3 });
    bindings[1].value.type = SNMP_TAG_END_OF_MIB_VIEW;
    SnmpMessage message = {};
    message.version = SNMP_VERSION_1;
    message.community = (const uint8_t*)"public";
    message.communityLength = 6;
    message.pduType = SNMP_TAG_RESPONSE;
    message.requestId = 0x1234;
    message.errorStatus = 2;
    message.errorIndex = 1;
    message.bindings = bindings;
    message.bindingCount = 2;
    Bytes expected = Hex(
        "30 32 02 01 00 04 06 70 75 62 6c 69 63 a2 25 02 02 12 34 02 01 02 02 01 01"
        " 30 19 30 10 06 0a 2b 06 01 04 01 81 fd 59 01 00 04 02 61 62 30 05 06 01 2b 82 00");
    EXPECT_EQ(expected, Encode(message));
    EXPECT_EQ(expected.size(), SnmpEncodeMessage(&message, NULL, 0));
    EXPECT_EQ(expected.size(),
              SnmpMessageSizeWithBindingBytes(&message, SnmpBindingSize(&bindings[0]) + SnmpBindingSize(&bindings[1])));
    // One byte short does not fit.
    Bytes small(expected.size() - 1);
    EXPECT_EQ(0u, SnmpEncodeMessage(&message, small.data(), small.size()));
}

struct NumberCase {
    uint8_t type;
    int64_t value;
    const char* encoded;
};

TEST(SnmpCodec, NumbersUseTheShortestFormAndComeBack)
{
    const NumberCase cases[] = {
        { SNMP_TAG_INTEGER, 0, "02 01 00" },
        { SNMP_TAG_INTEGER, 127, "02 01 7f" },
        { SNMP_TAG_INTEGER, 128, "02 02 00 80" },
        { SNMP_TAG_INTEGER, -1, "02 01 ff" },
        { SNMP_TAG_INTEGER, -128, "02 01 80" },
        { SNMP_TAG_INTEGER, -129, "02 02 ff 7f" },
        { SNMP_TAG_INTEGER, INT32_MIN, "02 04 80 00 00 00" },
        { SNMP_TAG_INTEGER, INT32_MAX, "02 04 7f ff ff ff" },
        { SNMP_TAG_COUNTER32, 0xFFFFFFFFll, "41 05 00 ff ff ff ff" },
        { SNMP_TAG_GAUGE32, 0x80, "42 02 00 80" },
        { SNMP_TAG_TIMETICKS, 0, "43 01 00" },
        { SNMP_TAG_COUNTER64, 0x100000001ll, "46 05 01 00 00 00 01" },
    };
    for (const NumberCase& c : cases) {
        SnmpBinding binding = {};
        binding.name = Oid({ 1, 3 });
        binding.value.type = c.type;
        binding.value.integer = (int32_t)c.value;
        binding.value.unsigned32 = (uint32_t)c.value;
        binding.value.unsigned64 = (uint64_t)c.value;
        SnmpMessage message = {};
        message.pduType = SNMP_TAG_RESPONSE;
        message.community = (const uint8_t*)"";
        message.bindings = &binding;
        message.bindingCount = 1;
        Bytes packet = Encode(message);
        Bytes value = Hex(c.encoded);
        ASSERT_GE(packet.size(), value.size());
        EXPECT_EQ(value, Bytes(packet.end() - value.size(), packet.end())) << c.encoded;
        Decoded decoded = Decode(packet);
        ASSERT_EQ(SNMP_DECODE_OK, decoded.result) << c.encoded;
        const SnmpValue& back = decoded.bindings[0].value;
        EXPECT_EQ(c.type, back.type);
        if (c.type == SNMP_TAG_INTEGER)
            EXPECT_EQ((int32_t)c.value, back.integer);
        else if (c.type == SNMP_TAG_COUNTER64)
            EXPECT_EQ((uint64_t)c.value, back.unsigned64);
        else
            EXPECT_EQ((uint32_t)c.value, back.unsigned32);
    }
}

Bytes GetRequestWithName(const SnmpOid& name)
{
    SnmpBinding binding = {};
    binding.name = name;
    binding.value.type = SNMP_TAG_NULL;
    SnmpMessage message = {};
    message.version = SNMP_VERSION_2C;
    message.community = (const uint8_t*)"public";
    message.communityLength = 6;
    message.pduType = SNMP_TAG_GET_REQUEST;
    message.bindings = &binding;
    message.bindingCount = 1;
    return Encode(message);
}

TEST(SnmpCodec, NamesKeepEveryArcUpTo128Arcs)
{
    SnmpOid longest = Oid({ 1, 3, 6, 1, 4294967295u, 2 });
    for (uint32_t arc = longest.length; arc < SNMP_MAX_OID_ARCS; arc++)
        longest.arcs[longest.length++] = 300000 + arc;
    Decoded decoded = Decode(GetRequestWithName(longest));
    ASSERT_EQ(SNMP_DECODE_OK, decoded.result);
    EXPECT_EQ(0, SnmpCompareOids(&longest, &decoded.bindings[0].name));

    SnmpOid wide = Oid({ 2, 999, 5 });
    decoded = Decode(GetRequestWithName(wide));
    ASSERT_EQ(SNMP_DECODE_OK, decoded.result);
    EXPECT_EQ(0, SnmpCompareOids(&wide, &decoded.bindings[0].name));
}

struct MalformedCase {
    const char* what;
    const char* packet;
    SnmpDecodeResult result;
};

TEST(SnmpCodec, RefusesBadMessages)
{
    // 129 arcs: 1.3 and 127 arcs of 0.
    std::string arcs129 = "30 81 a2 02 01 01 04 06 70 75 62 6c 69 63 a0 81 94 02 01 01 02 01 00 02 01 00"
                          " 30 81 88 30 81 85 06 81 80 2b";
    for (int i = 0; i < 127; i++)
        arcs129 += " 00";
    arcs129 += " 05 00";
    const MalformedCase cases[] = {
        { "empty", "", SNMP_DECODE_MALFORMED },
        { "outer tag not a sequence", "31 03 02 01 01", SNMP_DECODE_MALFORMED },
        { "length past the end", "30 7f 02 01 01", SNMP_DECODE_MALFORMED },
        { "indefinite length", "30 80 02 01 01 00 00", SNMP_DECODE_MALFORMED },
        { "five length bytes", "30 85 00 00 00 00 03 02 01 01", SNMP_DECODE_MALFORMED },
        { "absurd length", "30 84 7f ff ff ff 02 01 01", SNMP_DECODE_MALFORMED },
        { "multi-byte tag", "1f 81 01 00", SNMP_DECODE_MALFORMED },
        { "trailing bytes", "30 03 02 01 01 00", SNMP_DECODE_MALFORMED },
        { "version 3", "30 03 02 01 03", SNMP_DECODE_BAD_VERSION },
        { "version -1", "30 03 02 01 ff", SNMP_DECODE_BAD_VERSION },
        { "version as string", "30 03 04 01 01", SNMP_DECODE_MALFORMED },
        { "five-byte integer", "30 07 02 05 00 00 00 00 01", SNMP_DECODE_MALFORMED },
        { "unknown PDU", "30 0d 02 01 01 04 01 70 a9 05 02 01 01 30 00", SNMP_DECODE_UNKNOWN_PDU },
        { "empty name", "30 17 02 01 01 04 01 70 a0 0f 02 01 01 02 01 00 02 01 00 30 04 30 02 06 00", SNMP_DECODE_MALFORMED },
        { "padded arc",
          "30 1b 02 01 01 04 01 70 a0 13 02 01 01 02 01 00 02 01 00 30 08 30 06 06 02 2b 80 05 00",
          SNMP_DECODE_MALFORMED },
        { "unterminated arc",
          "30 1b 02 01 01 04 01 70 a0 13 02 01 01 02 01 00 02 01 00 30 08 30 06 06 02 2b 86 05 00",
          SNMP_DECODE_MALFORMED },
        { "arc over 32 bits",
          "30 1f 02 01 01 04 01 70 a0 17 02 01 01 02 01 00 02 01 00 30 0c 30 0a 06 06 2b 90 80 80 80 00 05 00",
          SNMP_DECODE_MALFORMED },
        { "NULL with content",
          "30 1b 02 01 01 04 01 70 a0 13 02 01 01 02 01 00 02 01 00 30 08 30 06 06 01 2b 05 01 00",
          SNMP_DECODE_MALFORMED },
        { "short IpAddress",
          "30 1d 02 01 01 04 01 70 a0 15 02 01 01 02 01 00 02 01 00 30 0a 30 08 06 01 2b 40 03 7f 00 01",
          SNMP_DECODE_MALFORMED },
        { "unknown value type",
          "30 1a 02 01 01 04 01 70 a0 12 02 01 01 02 01 00 02 01 00 30 07 30 05 06 01 2b 45 00",
          SNMP_DECODE_MALFORMED },
        { "129 arcs", arcs129.c_str(), SNMP_DECODE_MALFORMED },
    };
    for (const MalformedCase& c : cases)
        EXPECT_EQ(c.result, Decode(Hex(c.packet)).result) << c.what;
}

TEST(SnmpCodec, EveryTruncationOfAValidMessageIsRefused)
{
    Bytes packet = Hex(kGetRequest);
    ASSERT_EQ(SNMP_DECODE_OK, Decode(packet).result);
    for (size_t length = 0; length < packet.size(); length++) {
        Bytes cut(packet.begin(), packet.begin() + length);
        EXPECT_NE(SNMP_DECODE_OK, Decode(cut).result) << length;
    }
}

TEST(SnmpCodec, CountsBindingsAgainstTheCallersCapacity)
{
    Bytes packet = Hex(kGetRequest);
    EXPECT_EQ(SNMP_DECODE_TOO_MANY_BINDINGS, Decode(packet, 0).result);
    EXPECT_EQ(SNMP_DECODE_OK, Decode(packet, 1).result);
}

TEST(SnmpCodec, ComparesNamesInSnmpOrder)
{
    SnmpOid a = Oid({ 1, 3, 6 });
    SnmpOid b = Oid({ 1, 3, 6, 0 });
    SnmpOid c = Oid({ 1, 3, 7 });
    SnmpOid d = Oid({ 1, 3, 4294967295u });
    EXPECT_LT(SnmpCompareOids(&a, &b), 0);
    EXPECT_LT(SnmpCompareOids(&b, &c), 0);
    EXPECT_LT(SnmpCompareOids(&c, &d), 0);
    EXPECT_EQ(0, SnmpCompareOids(&c, &c));
    EXPECT_TRUE(SnmpOidStartsWith(&b, &a));
    EXPECT_FALSE(SnmpOidStartsWith(&a, &b));
    EXPECT_FALSE(SnmpOidStartsWith(&c, &a));
}

} // namespace
