"""The C-linkage companions give what the C++-linkage originals give.

The originals are reached by their g++ (Itanium ABI) names, as only a C++
caller of that compiler family can; the companions by their C names.
"""
import ctypes
from ctypes import POINTER, byref, c_int, c_ubyte, c_uint

import pytest

import c_header
from conftest import INCLUDE
from tessaro import _native

BYTES, INTP = POINTER(c_ubyte), POINTER(c_int)
COLLECTOR = (c_int, [BYTES, INTP, c_int])

# C name -> (decorated name of the original, signature)
PAIRS = {
    "TessaroGetCRC": ("_Z6GetCRCPhi", (None, [BYTES, c_int])),
    "TessaroCheckCRC": ("_Z8CheckCRCPhi", (c_int, [BYTES, c_int])),
    "TessaroSendDataToPort": ("_Z14SendDataToPortPhji", (c_int, [BYTES, c_uint, c_int])),
    "TessaroGetDataFromPort": ("_Z15GetDataFromPortPhPii", COLLECTOR),
    "TessaroGetInventoryDataFromPort1": ("_Z25GetInventoryDataFromPort1PhPii", COLLECTOR),
    "TessaroGetBufferDataFromPort": ("_Z21GetBufferDataFromPortPhPii", COLLECTOR),
    "TessaroGetDataFromPort_buff": ("_Z20GetDataFromPort_buffPhPii", COLLECTOR),
    "TessaroATGetDataFromPort": ("_Z17ATGetDataFromPortPhPii", COLLECTOR),
}


def both(name):
    """(companion, original) as callables."""
    library = _native.tessaro()
    original = getattr(ctypes.CDLL(library.path), PAIRS[name][0])
    original.restype, original.argtypes = PAIRS[name][1]
    return getattr(library, name), original


def buffer(data=b"", size=None):
    return (c_ubyte * (size or len(data)))(*data)


def test_every_companion_is_compared():
    declared = set(c_header.functions(INCLUDE / "TessaroCNames.h"))
    assert declared - {"TessaroDecodeTagRecord", "TessaroDecodeTagRecordCount"} == set(PAIRS)


def test_crc_of_a_known_frame():
    for function in both("TessaroGetCRC"):
        frame = buffer(b"\x04\x00\x21", 5)
        function(frame, 3)
        assert bytes(frame) == bytes.fromhex("040021D96A")


@pytest.mark.parametrize("frame, length", [
    ("040021D96A", 5),   # intact
    ("040021D96B", 5),   # damaged CRC
    ("040021D96A", 0),   # nothing to check
])
def test_check_crc(frame, length):
    companion, original = both("TessaroCheckCRC")
    data = bytes.fromhex(frame)
    assert companion(buffer(data), length) == original(buffer(data), length)


def frame(command, data=b""):
    """Len, Adr FF, command, data, CRC."""
    body = buffer(bytes([4 + len(data), 0xFF, command]) + data, 5 + len(data))
    _native.tessaro().TessaroGetCRC(body, 3 + len(data))
    return bytes(body)


@pytest.mark.parametrize("collector, request_frame, answer_bytes", [
    ("TessaroGetDataFromPort", frame(0x21), 18),                      # reader information
    # fast inventory on antenna 1: nine records of 16 bytes
    ("TessaroGetInventoryDataFromPort1", frame(0x00, bytes([4, 0, 0, 0x80, 10])), 6 + 9 * 16 + 2),
    ("TessaroGetBufferDataFromPort", frame(0x72), 7),                 # an empty buffer
    ("TessaroGetDataFromPort_buff", frame(0x18, bytes([4, 0])), 10),  # inventory into the buffer
    ("TessaroATGetDataFromPort", frame(0x21), 0),                     # collects nothing
])
def test_send_and_collect(reader, collector, request_frame, answer_bytes):
    """Each pair sends the same frame and collects the same answer from the reader."""
    results = []
    for send, collect in zip(both("TessaroSendDataToPort"), both(collector)):
        sent = send(buffer(request_frame), len(request_frame), reader.port)
        response, length = buffer(size=6000), c_int(0)
        code = collect(response, byref(length), reader.port)
        results.append((sent, code, bytes(response[:length.value])))
    assert results[0] == results[1]
    assert results[0][:2] == (1, 0)
    assert len(results[0][2]) == answer_bytes


def test_closed_port(sim):
    """On a port never opened both give the same refusal."""
    results = []
    for send, collect in zip(both("TessaroSendDataToPort"), both("TessaroGetDataFromPort")):
        length = c_int(0)
        results.append((send(buffer(frame(0x21)), 5, 7), collect(buffer(size=6000), byref(length), 7)))
    assert results[0] == results[1] == (0, 48)
