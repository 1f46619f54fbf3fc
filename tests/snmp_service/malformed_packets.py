"""Hostile datagrams against a running snmp_service.exe.

  malformed_packets.py table PORT     the table of cases; prints the counts
                                      the service must report for them
  malformed_packets.py mutate PORT N  N randomly mutated requests

After every case (table) or every 50 mutations the service must still
answer a valid request. Exits 1 when it does not.
"""
import random
import socket
import sys

TIMEOUT_S = 2.0


def tlv(tag, content):
    length = len(content)
    if length < 0x80:
        header = bytes([length])
    else:
        raw = length.to_bytes((length.bit_length() + 7) // 8, "big")
        header = bytes([0x80 | len(raw)]) + raw
    return bytes([tag]) + header + content


def integer(value, tag=0x02):
    length = max(1, (value.bit_length() + 8) // 8)
    return tlv(tag, value.to_bytes(length, "big", signed=True))


def oid(arcs):
    body = bytearray()
    first = [arcs[0] * 40 + arcs[1]] + list(arcs[2:])
    for arc in first:
        chunk = [arc & 0x7F]
        arc >>= 7
        while arc:
            chunk.insert(0, 0x80 | (arc & 0x7F))
            arc >>= 7
        body += bytes(chunk)
    return tlv(0x06, bytes(body))


NULL = b"\x05\x00"


def binding(name, value=NULL):
    return tlv(0x30, oid(name) + value)


def message(bindings, pdu=0xA0, version=1, community=b"public", request_id=1, fields=(0, 0)):
    body = integer(request_id) + integer(fields[0]) + integer(fields[1]) + tlv(0x30, b"".join(bindings))
    return tlv(0x30, integer(version) + tlv(0x04, community) + tlv(pdu, body))


PROBE = [1, 3, 6, 1, 3, 7777, 1, 0]


def valid_request(request_id):
    return message([binding(PROBE)], request_id=request_id)


def request_id_of(response):
    """The request id of a response, read with the fewest assumptions."""
    at = 2 if response[1] < 0x80 else 2 + (response[1] & 0x7F)
    at += 3  # version
    at += 2 + response[at + 1]  # community
    at += 2 if response[at + 1] < 0x80 else 2 + (response[at + 1] & 0x7F)
    length = response[at + 1]
    return int.from_bytes(response[at + 2:at + 2 + length], "big", signed=True)


class Service:
    def __init__(self, port):
        self.address = ("127.0.0.1", port)
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.socket.settimeout(TIMEOUT_S)
        self.next_id = 1000

    def send(self, packet):
        self.socket.sendto(packet, self.address)

    def answers(self):
        """Sends a valid GET; true when its own response comes back."""
        self.next_id += 1
        self.send(valid_request(self.next_id))
        try:
            while True:
                response, _ = self.socket.recvfrom(65535)
                if request_id_of(response) == self.next_id:
                    return True
        except (socket.timeout, IndexError):
            return False


def long_oid_binding(arcs):
    return binding(PROBE[:6] + [5] * (arcs - 6))


# name, datagram, the counter it must land in ("answered" for well-formed
# requests that get an answer).
def table():
    get = message([binding(PROBE)])
    return [
        ("empty datagram", b"", "malformed"),
        ("one byte", b"\x30", "malformed"),
        ("truncated", get[:-3], "malformed"),
        ("length past the end", b"\x30\x7f" + get[2:], "malformed"),
        ("indefinite length", b"\x30\x80" + get[2:] + b"\x00\x00", "malformed"),
        ("five length bytes", b"\x30\x85\x00\x00\x00\x00" + bytes([len(get) - 2]) + get[2:], "malformed"),
        ("absurd length", b"\x30\x84\x7f\xff\xff\xff" + get[2:], "malformed"),
        ("multi-byte tag", b"\x3f\x81" + get[1:], "malformed"),
        ("trailing garbage", get + b"\x00", "malformed"),
        ("not a sequence", b"\x31" + get[1:], "malformed"),
        ("community not a string", tlv(0x30, integer(1) + integer(5) + get[get.index(0xA0):]), "malformed"),
        ("request id of five bytes", message([binding(PROBE)], request_id=2**33), "malformed"),
        ("129 arcs", message([long_oid_binding(129)]), "malformed"),
        ("arc over 32 bits", message([binding(PROBE[:6] + [2**32])]), "malformed"),
        ("empty name", message([tlv(0x30, b"\x06\x00" + NULL)]), "malformed"),
        ("short IpAddress", message([binding(PROBE, b"\x40\x03\x7f\x00\x01")]), "malformed"),
        ("NULL with content", message([binding(PROBE, b"\x05\x01\x00")]), "malformed"),
        ("unknown value type", message([binding(PROBE, b"\x49\x00")]), "malformed"),
        ("version 3", message([binding(PROBE)], version=3), "bad version"),
        ("version 2", message([binding(PROBE)], version=2), "bad version"),
        ("version -1", message([binding(PROBE)], version=-1), "bad version"),
        ("unknown PDU 0xA9", message([binding(PROBE)], pdu=0xA9), "unknown PDU"),
        ("unknown PDU 0xAF", message([binding(PROBE)], pdu=0xAF), "unknown PDU"),
        ("a response", message([binding(PROBE)], pdu=0xA2), "not a request"),
        ("a report", message([binding(PROBE)], pdu=0xA8), "not a request"),
        ("an inform", message([binding(PROBE)], pdu=0xA6), "not a request"),
        ("an SNMPv2 trap", message([binding(PROBE)], pdu=0xA7), "not a request"),
        ("GETBULK in SNMPv1", message([binding(PROBE)], pdu=0xA5, version=0), "not a request"),
        ("an SNMPv1 trap", tlv(0x30, integer(0) + tlv(0x04, b"public") + tlv(0xA4, oid([1, 3, 6, 1, 3, 7777])
                                + tlv(0x40, b"\x7f\x00\x00\x01") + integer(6) + integer(1)
                                + integer(0, 0x43) + tlv(0x30, b""))), "not a request"),
        ("wrong community", message([binding(PROBE)], community=b"publik"), "bad community"),
        ("300 bindings", message([binding(PROBE)] * 300), "oversized"),
        ("9000 bytes", message([binding(PROBE, tlv(0x04, b"x" * 9000))]), "oversized"),
        ("128 arcs", message([long_oid_binding(128)]), "answered"),
        ("GETNEXT from 128 arcs", message([long_oid_binding(128)], pdu=0xA1), "answered"),
        ("GETBULK with negative fields", message([binding(PROBE)], pdu=0xA5, fields=(-5, -7)), "answered"),
        ("GETBULK with huge fields", message([binding(PROBE)] * 3, pdu=0xA5, fields=(2**31 - 1, 2**31 - 1)),
         "answered"),
        ("zero bindings", message([]), "answered"),
    ]


def run_table(service):
    counts = {}
    broken = 0
    for name, packet, counter in table():
        service.send(packet)
        counts[counter] = counts.get(counter, 0) + 1
        if not service.answers():
            print("no answer after: %s" % name)
            broken += 1
        counts["answered"] = counts.get("answered", 0) + 1
    order = ["malformed", "bad version", "unknown PDU", "not a request", "bad community", "oversized"]
    dropped = sum(counts.get(c, 0) for c in order)
    print("answered %d requests, sent 0 traps; dropped %d datagrams (%s)" % (
        counts["answered"], dropped, ", ".join("%s %d" % (c, counts.get(c, 0)) for c in order)))
    return broken == 0


def seeds():
    return [
        message([binding(PROBE)]),
        message([binding(PROBE), binding([1, 3, 6, 1, 3, 7777, 2, 0])], pdu=0xA1, version=0),
        message([binding([1, 3, 6, 1, 3])], pdu=0xA5, fields=(0, 20)),
        message([binding([1, 3, 6, 1, 3, 7777, 11, 0], integer(3))], pdu=0xA3, community=b"private"),
        message([binding(PROBE, tlv(0x04, b"abc")), binding(PROBE, oid([1, 3, 6]))]),
    ]


def mutate(packet, rng):
    data = bytearray(packet)
    for _ in range(rng.randint(1, 4)):
        kind = rng.randrange(5)
        at = rng.randrange(len(data)) if data else 0
        if kind == 0 and data:
            data[at] ^= 1 << rng.randrange(8)
        elif kind == 1 and data:
            data[at] = rng.choice([0x00, 0x7F, 0x80, 0x81, 0x82, 0x84, 0xFF, rng.randrange(256)])
        elif kind == 2:
            data[at:at] = bytes(rng.randrange(256) for _ in range(rng.randint(1, 8)))
        elif kind == 3 and data:
            del data[at:at + rng.randint(1, 8)]
        else:
            data = data[:at]
    return bytes(data)


def run_mutations(service, count, seed):
    rng = random.Random(seed)
    base = seeds()
    for i in range(count):
        service.send(mutate(rng.choice(base), rng))
        if i % 50 == 49 and not service.answers():
            print("no answer after mutation %d (seed %d)" % (i, seed))
            return False
    return service.answers()


def main():
    mode, port = sys.argv[1], int(sys.argv[2])
    service = Service(port)
    if mode == "table":
        ok = run_table(service)
    else:
        seed = random.randrange(2**31)
        print("seed %d" % seed)
        ok = run_mutations(service, int(sys.argv[3]), seed)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
