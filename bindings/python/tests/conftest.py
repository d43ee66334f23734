"""Fixtures: the package from this tree, a simulated reader on the virtual clock.

TESSARO_LIBRARY_PATH names the built libraries (CTest sets it);
TESSARO_SOURCE_DIR the source tree with the sample populations.
"""
import ctypes
import os
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

import tessaro  # noqa: E402
from tessaro.reader import _Ports  # noqa: E402
from tessaro.sim import Simulator  # noqa: E402

SOURCE_DIR = Path(os.environ.get("TESSARO_SOURCE_DIR", Path(__file__).resolve().parents[3]))
SHELF = SOURCE_DIR / "sim" / "populations" / "shelf.tags"
INCLUDE = SOURCE_DIR / "include"


@pytest.fixture
def sim():
    """One simulated reader holding the sample shelf, installed, virtual clock."""
    with Simulator(population=SHELF) as simulator:
        simulator.install()
        yield simulator


@pytest.fixture
def reader(sim):
    with tessaro.open() as opened:
        yield opened


# The transport's functions are TESSARO_CALL: stdcall on 32-bit Windows.
_CALL = getattr(ctypes, "WINFUNCTYPE", ctypes.CFUNCTYPE)


class _Transport(ctypes.Structure):
    """TessaroTransport (TessaroTransport.h)."""
    _fields_ = [
        ("version", ctypes.c_int),
        ("context", ctypes.c_void_p),
        ("interfacePath", _CALL(ctypes.c_int, ctypes.c_void_p, ctypes.c_int,
                                           ctypes.POINTER(ctypes.c_char), ctypes.c_size_t)),
        ("open", _CALL(ctypes.c_void_p, ctypes.c_void_p, ctypes.c_char_p)),
        ("attributes", _CALL(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p,
                                        ctypes.POINTER(ctypes.c_ushort),
                                        ctypes.POINTER(ctypes.c_ushort))),
        ("writeReport", _CALL(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p,
                                         ctypes.POINTER(ctypes.c_ubyte), ctypes.c_uint)),
        ("readReport", _CALL(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p,
                                        ctypes.POINTER(ctypes.c_ubyte), ctypes.c_uint)),
        ("close", _CALL(None, ctypes.c_void_p, ctypes.c_void_p)),
        ("tickMs", _CALL(ctypes.c_uint, ctypes.c_void_p)),
        ("sleepMs", _CALL(None, ctypes.c_void_p, ctypes.c_uint)),
    ]


class Link:
    """The simulator's transport with the library's reports seen on their way:
    `frames` holds every command frame the host wrote, and `answer` may change
    an answer frame before the library gets it (its CRC is made anew)."""

    def __init__(self, simulator):
        self.frames = []
        self.answer = None   # frame bytes -> frame bytes (without the CRC), or None
        inner = _Transport()
        assert simulator._lib.TessaroSimGetTransport(simulator._sim, ctypes.byref(inner)) == 0
        context = inner.context

        def write(_, device, report, wait):
            if report[0] == 2:   # a data report: id, count, then the frame
                self.frames.append(bytes(report[2:2 + report[1]]))
            return inner.writeReport(context, device, report, wait)

        def read(_, device, report, wait):
            got = inner.readReport(context, device, report, wait)
            if got == 64 and report[1] and self.answer:
                frame = self.answer(bytes(report[2:2 + report[1] - 2]))
                if frame is not None:
                    data = (ctypes.c_ubyte * 64)(0, len(frame) + 2, *frame)
                    crc_at = ctypes.cast(ctypes.addressof(data) + 2, ctypes.POINTER(ctypes.c_ubyte))
                    tessaro._native.tessaro().TessaroGetCRC(crc_at, len(frame))
                    ctypes.memmove(report, data, 64)
            return got

        self._transport = _Transport(
            1, None,
            type(inner.interfacePath)(lambda _, i, p, n: inner.interfacePath(context, i, p, n)),
            type(inner.open)(lambda _, path: inner.open(context, path)),
            type(inner.attributes)(lambda _, d, v, p: inner.attributes(context, d, v, p)),
            type(inner.writeReport)(write), type(inner.readReport)(read),
            type(inner.close)(lambda _, d: inner.close(context, d)),
            type(inner.tickMs)(lambda _: inner.tickMs(context)),
            type(inner.sleepMs)(lambda _, ms: inner.sleepMs(context, ms)))
        self._set = ctypes.CDLL(tessaro._native.tessaro().path).TessaroSetTransport
        self._set.argtypes, self._set.restype = [ctypes.c_void_p], ctypes.c_int

    def install(self):
        assert self._set(ctypes.byref(self._transport)) == 0
        _Ports.transport_changed()

    def uninstall(self):
        self._set(None)
        _Ports.transport_changed()

    def commands(self, code):
        """The data of the frames of command `code` (after Len, Adr, Cmd; before the CRC)."""
        return [frame[3:-2] for frame in self.frames if frame[2] == code]


@pytest.fixture
def link():
    """The sample shelf behind a Link, opened as `link.reader`."""
    with Simulator(population=SHELF) as simulator:
        seen = Link(simulator)
        seen.sim = simulator
        seen.install()
        try:
            with tessaro.open() as opened:
                seen.reader = opened
                yield seen
        finally:
            seen.uninstall()
