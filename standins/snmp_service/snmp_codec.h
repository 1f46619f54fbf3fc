#pragma once
// BER codec of SNMPv1 and SNMPv2c messages. Plain C with no platform
// dependency, so that the same decoder can be fuzzed natively. The decoder
// never allocates: strings point into the packet, names are copied into
// fixed arrays, and every length is checked against what is left.
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// The protocol's own limit on the arcs of a name.
#define SNMP_MAX_OID_ARCS 128
// Bindings one request may carry; larger requests are refused as oversized.
#define SNMP_MAX_BINDINGS 256

#define SNMP_VERSION_1 0
#define SNMP_VERSION_2C 1

// Tags on the wire.
#define SNMP_TAG_INTEGER 0x02
#define SNMP_TAG_OCTET_STRING 0x04
#define SNMP_TAG_NULL 0x05
#define SNMP_TAG_OID 0x06
#define SNMP_TAG_SEQUENCE 0x30
#define SNMP_TAG_IP_ADDRESS 0x40
#define SNMP_TAG_COUNTER32 0x41
#define SNMP_TAG_GAUGE32 0x42
#define SNMP_TAG_TIMETICKS 0x43
#define SNMP_TAG_OPAQUE 0x44
#define SNMP_TAG_COUNTER64 0x46
#define SNMP_TAG_NO_SUCH_OBJECT 0x80
#define SNMP_TAG_NO_SUCH_INSTANCE 0x81
#define SNMP_TAG_END_OF_MIB_VIEW 0x82

#define SNMP_TAG_GET_REQUEST 0xA0
#define SNMP_TAG_GET_NEXT_REQUEST 0xA1
#define SNMP_TAG_RESPONSE 0xA2
#define SNMP_TAG_SET_REQUEST 0xA3
#define SNMP_TAG_TRAP_V1 0xA4
#define SNMP_TAG_GET_BULK_REQUEST 0xA5
#define SNMP_TAG_INFORM_REQUEST 0xA6
#define SNMP_TAG_TRAP_V2 0xA7
#define SNMP_TAG_REPORT 0xA8

typedef struct SnmpOid {
    uint32_t length;
    uint32_t arcs[SNMP_MAX_OID_ARCS];
} SnmpOid;

// One value of any wire type. Which fields count depends on type:
// integer (INTEGER), unsigned32 (Counter32, Gauge32, TimeTicks),
// unsigned64 (Counter64), bytes/byteCount (OCTET STRING, Opaque,
// IpAddress with 4 bytes), oid (OBJECT IDENTIFIER); NULL and the three
// exceptions carry nothing.
typedef struct SnmpValue {
    uint8_t type;
    int32_t integer;
    uint32_t unsigned32;
    uint64_t unsigned64;
    const uint8_t* bytes;
    size_t byteCount;
    SnmpOid oid;
} SnmpValue;

typedef struct SnmpBinding {
    SnmpOid name;
    SnmpValue value;
} SnmpBinding;

// A whole message. For GetBulk, errorStatus holds non-repeaters and
// errorIndex max-repetitions. The trap fields count only for the v1
// Trap-PDU, which has no request id, error status or error index.
typedef struct SnmpMessage {
    int32_t version;
    const uint8_t* community;
    size_t communityLength;
    uint8_t pduType;
    int32_t requestId;
    int32_t errorStatus;
    int32_t errorIndex;
    SnmpOid enterprise;
    uint8_t agentAddress[4];
    int32_t genericTrap;
    int32_t specificTrap;
    uint32_t timeStamp;
    SnmpBinding* bindings;
    size_t bindingCount;
} SnmpMessage;

typedef enum SnmpDecodeResult {
    SNMP_DECODE_OK = 0,
    SNMP_DECODE_MALFORMED,        // not a well-formed message
    SNMP_DECODE_BAD_VERSION,      // well-formed start, but neither v1 nor v2c
    SNMP_DECODE_UNKNOWN_PDU,      // a PDU tag this codec does not read
    SNMP_DECODE_TOO_MANY_BINDINGS // more than the caller's binding capacity
} SnmpDecodeResult;

// Decodes one datagram into message, with room for capacity bindings in
// bindings. On any result but OK the message content is unspecified.
SnmpDecodeResult SnmpDecodeMessage(const uint8_t* packet, size_t packetLength,
                                   SnmpMessage* message, SnmpBinding* bindings, size_t capacity);

// Encodes message into buffer; returns the length, or 0 when it does not
// fit in capacity. A NULL buffer only measures (capacity is then ignored).
size_t SnmpEncodeMessage(const SnmpMessage* message, uint8_t* buffer, size_t capacity);

// Encoded size of one binding, as it adds to a variable-binding list.
size_t SnmpBindingSize(const SnmpBinding* binding);

// Size of message when its binding list holds exactly bindingBytes of
// encoded bindings instead of its own; lets a caller grow a response
// binding by binding without encoding it again.
size_t SnmpMessageSizeWithBindingBytes(const SnmpMessage* message, size_t bindingBytes);

// -1, 0 or 1 in SNMP order: arc by arc as unsigned numbers, and a proper
// prefix sorts first.
int SnmpCompareOids(const SnmpOid* left, const SnmpOid* right);
// Non-zero when prefix is a prefix of (or equal to) oid.
int SnmpOidStartsWith(const SnmpOid* oid, const SnmpOid* prefix);

#ifdef __cplusplus
}
#endif
