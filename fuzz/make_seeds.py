#!/usr/bin/python3
"""Writes the seed corpus of the fuzz targets: valid conversations, one file
each, in the input format of fuzz/fuzz_reader.h (a head of a selector and
eight little-endian ints, then the reader's input reports as records
kind | count | bytes).

    make_seeds.py OUT      writes OUT/<target>/<name> for every target
"""
import os
import struct
import sys

REPORT_BYTES = 62


def crc16(data):
    """CRC-16 as the reader uses it: reflected 0x1021, initial 0xFFFF, no final XOR."""
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0x8408 if crc & 1 else crc >> 1
    return crc


def frame(re_cmd, status, data=b"", adr=0x00):
    body = bytes([len(data) + 5, adr, re_cmd, status]) + bytes(data)
    crc = crc16(body)
    return body + bytes([crc & 0xFF, crc >> 8])


def records(stream, size=REPORT_BYTES, stall=False):
    """The stream as data reports of `size` bytes; `stall` puts a read that
    times out before every report."""
    out = b""
    for at in range(0, len(stream), size):
        chunk = stream[at:at + size]
        if stall:
            out += bytes([1, 0])
        out += bytes([0, len(chunk)]) + chunk
    return out


def head(selector, *args):
    args = list(args) + [0] * (8 - len(args))
    return bytes([selector]) + struct.pack("<8i", *args)


def tag_records(count, first=0):
    """Tag records as the reader lays them out: length, EPC, RSSI, antenna."""
    out = b""
    for i in range(count):
        epc = bytes([0x30, 0x00] + [0] * 8 + [(first + i) >> 8 & 0xFF, (first + i) & 0xFF])
        out += bytes([len(epc)]) + epc + bytes([0xCE, 0x01])
    return out


def inventory_stream(code, tags, per_frame=15):
    stream = b""
    sent = 0
    while True:
        n = min(per_frame, tags - sent)
        last = sent + n == tags
        stream += frame(code, 0x01 if last else 0x03, bytes([0x01, n]) + tag_records(n, sent))
        sent += n
        if last:
            return stream


def readout_stream(tags, per_frame=15):
    stream = b""
    sent = 0
    while True:
        n = min(per_frame, tags - sent)
        last = sent + n == tags
        stream += frame(0x72, 0x01 if last else 0x03, bytes([n]) + tag_records(n, sent), adr=0x09)
        sent += n
        if last:
            return stream


def variants(name, head_bytes, stream):
    """A conversation whole, cut small, and with stalls between reports."""
    yield name, head_bytes + records(stream)
    yield name + "-cut10", head_bytes + records(stream, 10)
    yield name + "-stalls", head_bytes + records(stream, stall=True)


def link_seeds():
    info = frame(0x21, 0x00, bytes(range(12)))
    yield from variants("single", head(0, 0, 0, 0), info)
    yield from variants("inventory", head(1, 1, 10), inventory_stream(0x01, 20))
    yield from variants("readout", head(2), readout_stream(20))
    yield from variants("length-ended", head(3, 1, 10), frame(0x18, 0x00, bytes([0, 20, 0, 20])))
    yield "inventory-no-tag", head(1, 1, 10) + records(frame(0x01, 0xFB))


# The Gen2 harness's selectors: epcWords 6, mask of 16 bits, bank 3,
# 4 words; each answered as the command expects.
GEN2_ARGS = (6, 16, 3, 4, 0, 0, 0x010101, 0)
GEN2 = [
    ("inventory", 0, inventory_stream(0x01, 20)),
    ("fast-inventory", 1, inventory_stream(0x00, 5)),
    ("single-tag", 2, frame(0x0F, 0x01, bytes([0x30]) + bytes(range(12)))),
    ("read", 3, frame(0x02, 0x00, bytes(range(8)))),
    ("ext-read", 4, frame(0x15, 0x00, bytes(range(8)))),
    ("write", 5, frame(0x03, 0x00)),
    ("erase", 6, frame(0x07, 0xFC, bytes([0x0B]))),
    ("block-write", 7, frame(0x10, 0x00)),
    ("ext-write", 8, frame(0x16, 0x00)),
    ("write-epc", 9, frame(0x04, 0x00)),
    ("kill", 10, frame(0x05, 0xFC, bytes([0x04]))),
    ("lock", 11, frame(0x06, 0x00)),
    ("check-privacy", 12, frame(0x0B, 0x00, bytes([0x01]))),
    ("eas-alarm", 13, frame(0x0D, 0x00)),
    ("monza", 14, frame(0x11, 0x00, bytes([0x00, 0x02]))),
    ("inventory-buffer", 15, frame(0x18, 0x00, bytes([0, 20, 0, 20]))),
    ("read-buffer", 16, readout_stream(20)),
    ("buffer-count", 17, frame(0x74, 0x00, bytes([0, 20]))),
]

ISO6B = [
    ("single", 0, frame(0x50, 0x00, bytes(range(11)))),
    ("multiple", 1, frame(0x51, 0x00, bytes([0x01, 0x02]) + bytes(range(16)))),
    ("read", 2, frame(0x52, 0x00, bytes(range(8)))),
    ("write", 3, frame(0x53, 0x00)),
    ("lock", 4, frame(0x55, 0xFC, bytes([0x03]))),
    ("check-lock", 5, frame(0x54, 0x00, bytes([0x01]))),
]

CONFIG = [
    ("reader-information", 0, frame(0x21, 0x00, bytes(range(12)))),
    ("system-parameter", 1, frame(0x36, 0x00, bytes(range(45)))),
    ("rev-delay", 2, frame(0x31, 0x00, bytes([0x10]))),
    ("custom-function", 3, frame(0x3A, 0x00, bytes([0x02]))),
    ("mask", 4, frame(0x3B, 0x00)),
    ("time", 5, frame(0x42, 0x00, bytes(range(6)))),
    ("gpio", 6, frame(0x47, 0x00, bytes([0x03]))),
    ("serial", 7, frame(0x4C, 0x00, bytes(range(4)))),
    ("work-time", 8, frame(0x61, 0x00, bytes(range(3)))),
    ("module-version", 9, frame(0x83, 0x00, bytes([1, 2]))),
    ("self-test", 10, frame(0x26, 0x00)),
    ("dac", 11, frame(0x2A, 0x00, bytes([0x40]))),
    ("start-information", 12, frame(0x2D, 0x00, bytes(range(9)))),
    ("ad-value", 13, frame(0x61, 0x00, bytes([1, 2]))),
    ("adjust", 14, frame(0x65, 0x00, bytes(range(148)))),
    ("check-power", 15, frame(0x67, 0x00, bytes(range(4)))),
    ("qs", 16, frame(0x82, 0x00, bytes([1, 2]))),
    ("hid-work", 17, frame(0xA2, 0x00, bytes(range(6)))),
    ("hid-beep", 18, frame(0xA4, 0x00, bytes([1]))),
    ("setters", 19, frame(0x22, 0x00) + frame(0x24, 0x00) + frame(0x60, 0x00)),
]

INT_MIN, INT_MAX = -2**31, 2**31 - 1


def table_seeds(table, args):
    for name, selector, stream in table:
        yield from variants(name, head(selector, *args), stream)


def region_seeds():
    for region in (1, 2, 3, 4, 5, 0, 6, -1, INT_MIN, INT_MAX):
        tag = str(region).replace("-", "minus")
        yield "list-%s" % tag, head(0, region)
        yield "range-%s" % tag, head(1, region, INT_MIN, INT_MAX) + records(frame(0x22, 0x00))
        yield "default-%s" % tag, head(2, region) + records(frame(0x22, 0x00))


def tlv(kind, body):
    return struct.pack(">HH", kind, len(body) + 4) + body


def llrp(kind, body, message_id=1):
    return struct.pack(">HII", 1 << 10 | kind, len(body) + 10, message_id) + body


def llrp_seeds():
    """Client messages of an LLRP session; the first byte is the piece size
    the stream is fed in."""
    boundary = tlv(178, tlv(179, b"\x02" + tlv(180, struct.pack(">II", 0, 500)))
                   + tlv(182, b"\x01" + struct.pack(">I", 1000)))
    mask = tlv(331, b"\x00" + tlv(332, b"\x40" + struct.pack(">HH", 32, 16) + b"\x30\x34")
               + tlv(334, b"\x00"))
    inventory = tlv(330, b"\x00" + mask + tlv(336, b"\x40" + struct.pack(">HI", 32, 0)))
    antenna = tlv(222, struct.pack(">H", 1) + tlv(224, struct.pack(">HHH", 1, 0, 81)) + inventory)
    ai_spec = tlv(183, struct.pack(">HH", 1, 0)
                  + tlv(184, b"\x03" + struct.pack(">I", 0)
                        + tlv(185, b"\x00\x00" + struct.pack(">HHHI", 21, 0, 500, 2000)))
                  + tlv(186, struct.pack(">HB", 1, 1) + antenna))
    report = tlv(237, b"\x01" + struct.pack(">H", 1) + tlv(238, b"\xff\xc0"))
    rospec = tlv(177, struct.pack(">IBB", 1, 0, 0) + boundary + ai_spec + report)
    read = tlv(341, struct.pack(">HIBHH", 1, 0, 0x80, 0, 6))
    tag_spec = tlv(338, tlv(339, b"\x20" + struct.pack(">HH", 0, 0) + struct.pack(">H", 0)))
    access = tlv(207, struct.pack(">IHBBI", 1, 0, 1, 0, 0) + tlv(208, b"\x00\x00\x00")
                 + tlv(209, tag_spec + read))
    config = llrp(3, b"\x80" + tlv(220, b"\x01" + struct.pack(">I", 1000)), 2)
    session = (llrp(46, b"") + llrp(47, b"\x02") + llrp(1, b"\x00") + config + llrp(20, rospec)
               + llrp(24, struct.pack(">I", 1)) + llrp(40, access) + llrp(60, b"") + llrp(72, b"")
               + llrp(2, struct.pack(">HBHH", 0, 0, 0, 0)) + llrp(14, b""))
    for piece in (0, 5, 63):
        yield "session-%d" % (piece + 1), bytes([piece]) + session
    yield "rospec-parameter", bytes([0]) + rospec
    yield "error-message", bytes([9]) + llrp(100, tlv(287, struct.pack(">HH", 101, 2) + b"ok"
                                                       + tlv(288, struct.pack(">HH", 0, 301))))


SEEDS = {
    "link": link_seeds,
    "gen2": lambda: table_seeds(GEN2, GEN2_ARGS),
    "iso6b": lambda: table_seeds(ISO6B, (0, 8)),
    "config": lambda: table_seeds(CONFIG, (1, 16)),
    "region": region_seeds,
    "llrp": llrp_seeds,
    "llrp_session": llrp_seeds,
}


def http_seeds():
    """Requests of every kind the console answers (the fuzzer's token is
    0123456789abcdef)."""
    auth = "Authorization: Bearer 0123456789abcdef\r\n"
    reader = "/api/v1/readers/19082024"
    epc = "3034257BF7194E40000003E9"

    def request(method, path, body="", headers=""):
        head = "%s %s HTTP/1.1\r\nHost: 127.0.0.1:8080\r\n%s" % (method, path, headers)
        if body:
            head += "Content-Type: application/json\r\nContent-Length: %d\r\n" % len(body)
        return (head + "\r\n" + body).encode()

    yield "readers", request("GET", "/api/v1/readers")
    yield "info", request("GET", reader + "/info")
    yield "settings", request("GET", reader + "/settings")
    yield "put-settings", request("PUT", reader + "/settings",
                                  '{"power":20,"region":{"name":"eu","lowestChannel":1},"antennas":[1,2],'
                                  '"scanTime":1000,"beep":true}', auth)
    yield "inventory", request("POST", reader + "/inventory", '{"q":3,"tid":true}', auth)
    yield "read", request("POST", "%s/tags/%s/read" % (reader, epc), '{"bank":"user","word":0,"count":2}', auth)
    yield "write", request("POST", "%s/tags/%s/write" % (reader, epc), '{"bank":"user","data":"ABCD"}', auth)
    yield "write-epc", request("POST", "%s/tags/%s/write-epc" % (reader, epc), '{"newEpc":"1234"}', auth)
    yield "lock", request("POST", "%s/tags/%s/lock" % (reader, epc), '{"target":"user","action":"unlock"}', auth)
    yield "kill", request("POST", "%s/tags/%s/kill" % (reader, epc), '{"killPassword":"00000001"}', auth)
    yield "tags", request("GET", reader + "/tags?limit=5")
    yield "rates", request("GET", reader + "/rates")
    yield "history", request("GET", "/api/v1/tags/%s/history?limit=3" % epc)
    yield "events", request("GET", "/api/v1/events?recent=2", headers="Last-Event-ID: 1\r\n")
    yield "recording", request("POST", "/api/v1/recording/start", "{}", auth)
    yield "metrics", request("GET", "/metrics", headers="Cookie: tessaro_token=0123456789abcdef\r\n")
    yield "page", request("GET", "/?token=0123456789abcdef")
    yield "chunked", (b"PUT " + reader.encode() + b"/settings HTTP/1.1\r\nHost: localhost\r\n" + auth.encode() +
                      b"Content-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n"
                      b"5\r\n{\"pow\r\n8\r\ner\":21}\r\n0\r\n\r\n")


SEEDS["http"] = http_seeds


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    for target, seeds in SEEDS.items():
        folder = os.path.join(sys.argv[1], target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds():
            with open(os.path.join(folder, name), "wb") as out:
                out.write(data)


if __name__ == "__main__":
    main()
