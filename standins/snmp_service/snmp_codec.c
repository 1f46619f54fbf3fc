// BER decoding reads forward through a bounded cursor; encoding writes
// backwards from the end of the buffer, so that every length is known
// before its header is written and all lengths come out minimal.
#include "snmp_codec.h"

#include <string.h>

typedef struct Reader {
    const uint8_t* next;
    size_t left;
} Reader;

typedef struct Writer {
    uint8_t* buffer; // NULL: only measure
    size_t capacity;
    size_t used;     // bytes written, counted from the end of the buffer
    int overflow;
} Writer;

/* ---- decoding ---- */

static int ReadByte(Reader* reader, uint8_t* byte)
{
    if (reader->left == 0)
        return 0;
    *byte = *reader->next++;
    reader->left--;
    return 1;
}

// Definite lengths only, at most four length bytes, never past the end.
static int ReadLength(Reader* reader, size_t* length)
{
    uint8_t first;
    if (!ReadByte(reader, &first))
        return 0;
    if (first < 0x80) {
        *length = first;
    } else {
        unsigned count = first & 0x7F;
        if (count == 0 || count > 4)
            return 0;
        size_t value = 0;
        for (unsigned i = 0; i < count; i++) {
            uint8_t byte;
            if (!ReadByte(reader, &byte))
                return 0;
            value = (value << 8) | byte;
        }
        *length = value;
    }
    return *length <= reader->left;
}

// Reads one tag and length and hands back a reader over the content.
static int ReadElement(Reader* reader, uint8_t* tag, Reader* content)
{
    size_t length;
    if (!ReadByte(reader, tag))
        return 0;
    // Multi-byte tags never occur in SNMP.
    if ((*tag & 0x1F) == 0x1F)
        return 0;
    if (!ReadLength(reader, &length))
        return 0;
    content->next = reader->next;
    content->left = length;
    reader->next += length;
    reader->left -= length;
    return 1;
}

static int ReadExpected(Reader* reader, uint8_t expectedTag, Reader* content)
{
    uint8_t tag;
    return ReadElement(reader, &tag, content) && tag == expectedTag;
}

// Two's complement content of 1 to 4 bytes.
static int DecodeSigned32(const Reader* content, int32_t* value)
{
    if (content->left < 1 || content->left > 4)
        return 0;
    uint32_t bits = (content->next[0] & 0x80) ? 0xFFFFFFFFu : 0;
    for (size_t i = 0; i < content->left; i++)
        bits = (bits << 8) | content->next[i];
    *value = (int32_t)bits;
    return 1;
}

// Unsigned content of up to maxBytes, where only the extra leading zero
// that keeps the sign bit clear may make it one byte longer; a value that
// would read as negative is refused.
static int DecodeUnsigned(const Reader* content, size_t maxBytes, uint64_t* value)
{
    size_t length = content->left;
    if (length < 1 || length > maxBytes + 1 || (content->next[0] & 0x80))
        return 0;
    if (length == maxBytes + 1 && content->next[0] != 0)
        return 0;
    uint64_t bits = 0;
    for (size_t i = 0; i < length; i++)
        bits = (bits << 8) | content->next[i];
    *value = bits;
    return 1;
}

static int ReadInteger32(Reader* reader, int32_t* value)
{
    Reader content;
    return ReadExpected(reader, SNMP_TAG_INTEGER, &content) && DecodeSigned32(&content, value);
}

static int AppendArc(SnmpOid* oid, uint64_t arc)
{
    if (oid->length >= SNMP_MAX_OID_ARCS || arc > 0xFFFFFFFFu)
        return 0;
    oid->arcs[oid->length++] = (uint32_t)arc;
    return 1;
}

// The first sub-identifier carries the first two arcs as 40 * X + Y.
static int AppendFirstArcs(SnmpOid* oid, uint64_t combined)
{
    if (combined < 40)
        return AppendArc(oid, 0) && AppendArc(oid, combined);
    if (combined < 80)
        return AppendArc(oid, 1) && AppendArc(oid, combined - 40);
    return AppendArc(oid, 2) && AppendArc(oid, combined - 80);
}

static int DecodeOid(const Reader* content, SnmpOid* oid)
{
    oid->length = 0;
    if (content->left == 0)
        return 0;
    uint64_t subidentifier = 0;
    int started = 0;
    int first = 1;
    for (size_t i = 0; i < content->left; i++) {
        uint8_t byte = content->next[i];
        // A leading 0x80 pads a sub-identifier: not allowed in BER.
        if (!started && byte == 0x80)
            return 0;
        started = 1;
        subidentifier = (subidentifier << 7) | (byte & 0x7F);
        if (subidentifier > 0xFFFFFFFFull + 80)
            return 0;
        if (byte & 0x80)
            continue;
        if (first ? !AppendFirstArcs(oid, subidentifier) : !AppendArc(oid, subidentifier))
            return 0;
        first = 0;
        started = 0;
        subidentifier = 0;
    }
    return !started;
}

static int DecodeValue(uint8_t tag, const Reader* content, SnmpValue* value)
{
    uint64_t number;
    memset(value, 0, sizeof(*value));
    value->type = tag;
    switch (tag) {
    case SNMP_TAG_INTEGER:
        return DecodeSigned32(content, &value->integer);
    case SNMP_TAG_OCTET_STRING:
    case SNMP_TAG_OPAQUE:
        value->bytes = content->next;
        value->byteCount = content->left;
        return 1;
    case SNMP_TAG_IP_ADDRESS:
        value->bytes = content->next;
        value->byteCount = content->left;
        return content->left == 4;
    case SNMP_TAG_OID:
        return DecodeOid(content, &value->oid);
    case SNMP_TAG_COUNTER32:
    case SNMP_TAG_GAUGE32:
    case SNMP_TAG_TIMETICKS:
        if (!DecodeUnsigned(content, 4, &number))
            return 0;
        value->unsigned32 = (uint32_t)number;
        return 1;
    case SNMP_TAG_COUNTER64:
        return DecodeUnsigned(content, 8, &value->unsigned64);
    case SNMP_TAG_NULL:
    case SNMP_TAG_NO_SUCH_OBJECT:
    case SNMP_TAG_NO_SUCH_INSTANCE:
    case SNMP_TAG_END_OF_MIB_VIEW:
        return content->left == 0;
    default:
        return 0;
    }
}

static int DecodeBinding(Reader* list, SnmpBinding* binding)
{
    Reader sequence, name, value;
    uint8_t valueTag;
    if (!ReadExpected(list, SNMP_TAG_SEQUENCE, &sequence))
        return 0;
    if (!ReadExpected(&sequence, SNMP_TAG_OID, &name) || !DecodeOid(&name, &binding->name))
        return 0;
    if (!ReadElement(&sequence, &valueTag, &value) || !DecodeValue(valueTag, &value, &binding->value))
        return 0;
    return sequence.left == 0;
}

static SnmpDecodeResult DecodeBindings(Reader* pdu, SnmpMessage* message,
                                       SnmpBinding* bindings, size_t capacity)
{
    Reader list;
    if (!ReadExpected(pdu, SNMP_TAG_SEQUENCE, &list) || pdu->left != 0)
        return SNMP_DECODE_MALFORMED;
    message->bindings = bindings;
    message->bindingCount = 0;
    while (list.left > 0) {
        if (message->bindingCount == capacity)
            return SNMP_DECODE_TOO_MANY_BINDINGS;
        if (!DecodeBinding(&list, &bindings[message->bindingCount]))
            return SNMP_DECODE_MALFORMED;
        message->bindingCount++;
    }
    return SNMP_DECODE_OK;
}

static SnmpDecodeResult DecodeTrapV1(Reader* pdu, SnmpMessage* message,
                                     SnmpBinding* bindings, size_t capacity)
{
    Reader enterprise, address, stamp;
    uint64_t ticks;
    if (!ReadExpected(pdu, SNMP_TAG_OID, &enterprise) || !DecodeOid(&enterprise, &message->enterprise))
        return SNMP_DECODE_MALFORMED;
    if (!ReadExpected(pdu, SNMP_TAG_IP_ADDRESS, &address) || address.left != 4)
        return SNMP_DECODE_MALFORMED;
    memcpy(message->agentAddress, address.next, 4);
    if (!ReadInteger32(pdu, &message->genericTrap) || !ReadInteger32(pdu, &message->specificTrap))
        return SNMP_DECODE_MALFORMED;
    if (!ReadExpected(pdu, SNMP_TAG_TIMETICKS, &stamp) || !DecodeUnsigned(&stamp, 4, &ticks))
        return SNMP_DECODE_MALFORMED;
    message->timeStamp = (uint32_t)ticks;
    return DecodeBindings(pdu, message, bindings, capacity);
}

static int IsKnownPdu(uint8_t tag)
{
    return tag >= SNMP_TAG_GET_REQUEST && tag <= SNMP_TAG_REPORT;
}

SnmpDecodeResult SnmpDecodeMessage(const uint8_t* packet, size_t packetLength,
                                   SnmpMessage* message, SnmpBinding* bindings, size_t capacity)
{
    Reader whole = { packet, packetLength };
    Reader sequence, community, pdu;
    memset(message, 0, sizeof(*message));
    if (!ReadExpected(&whole, SNMP_TAG_SEQUENCE, &sequence) || whole.left != 0)
        return SNMP_DECODE_MALFORMED;
    if (!ReadInteger32(&sequence, &message->version))
        return SNMP_DECODE_MALFORMED;
    if (message->version != SNMP_VERSION_1 && message->version != SNMP_VERSION_2C)
        return SNMP_DECODE_BAD_VERSION;
    if (!ReadExpected(&sequence, SNMP_TAG_OCTET_STRING, &community))
        return SNMP_DECODE_MALFORMED;
    message->community = community.next;
    message->communityLength = community.left;
    if (!ReadElement(&sequence, &message->pduType, &pdu) || sequence.left != 0)
        return SNMP_DECODE_MALFORMED;
    if (!IsKnownPdu(message->pduType))
        return SNMP_DECODE_UNKNOWN_PDU;
    if (message->pduType == SNMP_TAG_TRAP_V1)
        return DecodeTrapV1(&pdu, message, bindings, capacity);
    if (!ReadInteger32(&pdu, &message->requestId) || !ReadInteger32(&pdu, &message->errorStatus)
        || !ReadInteger32(&pdu, &message->errorIndex))
        return SNMP_DECODE_MALFORMED;
    return DecodeBindings(&pdu, message, bindings, capacity);
}

/* ---- encoding ---- */

static void PutBytes(Writer* writer, const uint8_t* bytes, size_t count)
{
    if (writer->overflow)
        return;
    if (writer->buffer != NULL && count > writer->capacity - writer->used) {
        writer->overflow = 1;
        return;
    }
    writer->used += count;
    if (writer->buffer != NULL && count > 0)
        memcpy(writer->buffer + writer->capacity - writer->used, bytes, count);
}

static void PutByte(Writer* writer, uint8_t byte)
{
    PutBytes(writer, &byte, 1);
}

static size_t LengthFieldSize(size_t length)
{
    size_t size = 1;
    if (length >= 0x80)
        for (size_t rest = length; rest > 0; rest >>= 8)
            size++;
    return size;
}

static void PutHeader(Writer* writer, uint8_t tag, size_t length)
{
    if (length < 0x80) {
        PutByte(writer, (uint8_t)length);
    } else {
        uint8_t count = 0;
        for (size_t rest = length; rest > 0; rest >>= 8, count++)
            PutByte(writer, (uint8_t)(rest & 0xFF));
        PutByte(writer, (uint8_t)(0x80 | count));
    }
    PutByte(writer, tag);
}

// Writes the header of a constructed element whose content was written
// since the writer held contentStart bytes.
static void CloseElement(Writer* writer, uint8_t tag, size_t contentStart)
{
    PutHeader(writer, tag, writer->used - contentStart);
}

static void PutSigned32(Writer* writer, uint8_t tag, int32_t value)
{
    size_t start = writer->used;
    uint32_t bits = (uint32_t)value;
    unsigned count = 4;
    // Drop a leading byte while the nine top bits are all equal.
    while (count > 1) {
        uint32_t top = (bits >> (8 * count - 9)) & 0x1FF;
        if (top != 0 && top != 0x1FF)
            break;
        count--;
    }
    for (unsigned i = 0; i < count; i++)
        PutByte(writer, (uint8_t)(bits >> (8 * i)));
    CloseElement(writer, tag, start);
}

static void PutUnsigned64(Writer* writer, uint8_t tag, uint64_t value)
{
    size_t start = writer->used;
    uint8_t last;
    do {
        last = (uint8_t)(value & 0xFF);
        PutByte(writer, last);
        value >>= 8;
    } while (value != 0);
    if (last & 0x80)
        PutByte(writer, 0x00);
    CloseElement(writer, tag, start);
}

static void PutSubidentifier(Writer* writer, uint64_t subidentifier)
{
    PutByte(writer, (uint8_t)(subidentifier & 0x7F));
    for (subidentifier >>= 7; subidentifier > 0; subidentifier >>= 7)
        PutByte(writer, (uint8_t)(0x80 | (subidentifier & 0x7F)));
}

// An empty name goes out as 0.0, the shortest name BER can carry.
static void PutOid(Writer* writer, const SnmpOid* oid)
{
    size_t start = writer->used;
    uint32_t length = oid->length > SNMP_MAX_OID_ARCS ? SNMP_MAX_OID_ARCS : oid->length;
    for (uint32_t i = length; i > 2; i--)
        PutSubidentifier(writer, oid->arcs[i - 1]);
    uint64_t first = length > 0 ? (uint64_t)oid->arcs[0] * 40 : 0;
    if (length > 1)
        first += oid->arcs[1];
    PutSubidentifier(writer, first);
    CloseElement(writer, SNMP_TAG_OID, start);
}

static void PutOctets(Writer* writer, uint8_t tag, const uint8_t* bytes, size_t count)
{
    PutBytes(writer, bytes, count);
    PutHeader(writer, tag, count);
}

static void PutValue(Writer* writer, const SnmpValue* value)
{
    switch (value->type) {
    case SNMP_TAG_INTEGER:
        PutSigned32(writer, value->type, value->integer);
        break;
    case SNMP_TAG_OCTET_STRING:
    case SNMP_TAG_OPAQUE:
    case SNMP_TAG_IP_ADDRESS:
        PutOctets(writer, value->type, value->bytes, value->byteCount);
        break;
    case SNMP_TAG_OID:
        PutOid(writer, &value->oid);
        break;
    case SNMP_TAG_COUNTER32:
    case SNMP_TAG_GAUGE32:
    case SNMP_TAG_TIMETICKS:
        PutUnsigned64(writer, value->type, value->unsigned32);
        break;
    case SNMP_TAG_COUNTER64:
        PutUnsigned64(writer, value->type, value->unsigned64);
        break;
    default:
        // NULL, the exceptions, and anything unknown carry no content.
        PutHeader(writer, value->type, 0);
        break;
    }
}

static void PutBinding(Writer* writer, const SnmpBinding* binding)
{
    size_t start = writer->used;
    PutValue(writer, &binding->value);
    PutOid(writer, &binding->name);
    CloseElement(writer, SNMP_TAG_SEQUENCE, start);
}

static void PutBindingList(Writer* writer, const SnmpMessage* message)
{
    size_t start = writer->used;
    for (size_t i = message->bindingCount; i > 0; i--)
        PutBinding(writer, &message->bindings[i - 1]);
    CloseElement(writer, SNMP_TAG_SEQUENCE, start);
}

static void PutPduFields(Writer* writer, const SnmpMessage* message)
{
    if (message->pduType == SNMP_TAG_TRAP_V1) {
        PutUnsigned64(writer, SNMP_TAG_TIMETICKS, message->timeStamp);
        PutSigned32(writer, SNMP_TAG_INTEGER, message->specificTrap);
        PutSigned32(writer, SNMP_TAG_INTEGER, message->genericTrap);
        PutOctets(writer, SNMP_TAG_IP_ADDRESS, message->agentAddress, 4);
        PutOid(writer, &message->enterprise);
    } else {
        PutSigned32(writer, SNMP_TAG_INTEGER, message->errorIndex);
        PutSigned32(writer, SNMP_TAG_INTEGER, message->errorStatus);
        PutSigned32(writer, SNMP_TAG_INTEGER, message->requestId);
    }
}

static void PutMessage(Writer* writer, const SnmpMessage* message, size_t bindingBytes, int measureOnly)
{
    size_t start = writer->used;
    size_t pduStart;
    if (measureOnly) {
        // Stand-in for a list holding bindingBytes of bindings.
        writer->used += bindingBytes + LengthFieldSize(bindingBytes) + 1;
    } else {
        PutBindingList(writer, message);
    }
    pduStart = start;
    PutPduFields(writer, message);
    CloseElement(writer, message->pduType, pduStart);
    PutOctets(writer, SNMP_TAG_OCTET_STRING, message->community, message->communityLength);
    PutSigned32(writer, SNMP_TAG_INTEGER, message->version);
    CloseElement(writer, SNMP_TAG_SEQUENCE, start);
}

size_t SnmpEncodeMessage(const SnmpMessage* message, uint8_t* buffer, size_t capacity)
{
    Writer writer = { buffer, capacity, 0, 0 };
    PutMessage(&writer, message, 0, 0);
    if (writer.overflow)
        return 0;
    if (buffer != NULL && writer.used < capacity)
        memmove(buffer, buffer + capacity - writer.used, writer.used);
    return writer.used;
}

size_t SnmpBindingSize(const SnmpBinding* binding)
{
    Writer writer = { NULL, 0, 0, 0 };
    PutBinding(&writer, binding);
    return writer.used;
}

size_t SnmpMessageSizeWithBindingBytes(const SnmpMessage* message, size_t bindingBytes)
{
    Writer writer = { NULL, 0, 0, 0 };
    PutMessage(&writer, message, bindingBytes, 1);
    return writer.used;
}

/* ---- names ---- */

int SnmpCompareOids(const SnmpOid* left, const SnmpOid* right)
{
    uint32_t common = left->length < right->length ? left->length : right->length;
    for (uint32_t i = 0; i < common; i++) {
        if (left->arcs[i] != right->arcs[i])
            return left->arcs[i] < right->arcs[i] ? -1 : 1;
    }
    if (left->length == right->length)
        return 0;
    return left->length < right->length ? -1 : 1;
}

int SnmpOidStartsWith(const SnmpOid* oid, const SnmpOid* prefix)
{
    if (prefix->length > oid->length)
        return 0;
    for (uint32_t i = 0; i < prefix->length; i++) {
        if (oid->arcs[i] != prefix->arcs[i])
            return 0;
    }
    return 1;
}
