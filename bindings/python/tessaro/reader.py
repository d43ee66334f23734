"""A reader, its tags and its settings, with Python types.

    import tessaro
    with tessaro.open() as reader:
        print(reader.info())
        for tag in reader.inventory():
            print(tag.epc_hex, tag.antenna, tag.rssi)
"""
from __future__ import annotations

import ctypes
import datetime
import functools
import threading
import time
import weakref
from ctypes import byref, c_int, c_ubyte, c_void_p
from dataclasses import dataclass, field
from enum import IntEnum
from typing import Iterator, List, Optional, Sequence, Tuple, Union

from . import _native, epc
from .errors import (ERR_COMM, STATUS_NO_TAG, CommunicationError, ReaderNotFoundError,
                     TessaroError, check, error_for)

EPC_LIST_MAX_BYTES = 6000
MAX_PORTS = 20
BROADCAST = 0xFF


class Bank(IntEnum):
    """Gen2 memory banks."""
    RESERVED = 0   # kill password (words 0-1), access password (words 2-3)
    EPC = 1        # StoredCRC, PC, EPC
    TID = 2
    USER = 3


class LockTarget(IntEnum):
    """What a Gen2 lock applies to."""
    KILL_PASSWORD = 0
    ACCESS_PASSWORD = 1
    EPC = 2
    TID = 3
    USER = 4


class LockAction(IntEnum):
    """A Gen2 lock state."""
    UNLOCKED = 0
    PERMA_UNLOCKED = 1
    LOCKED = 2          # writing (and reading a password) needs the access password
    PERMA_LOCKED = 3


@dataclass(frozen=True)
class Tag:
    """One tag of an inventory: a record of the reader's EPC-ID list."""
    epc: bytes
    antenna: int          # 1 to 4
    rssi: int             # dBm
    tid: bytes = b""      # empty unless the inventory asked for the TID

    def __repr__(self) -> str:
        tid = f", tid={self.tid_hex}" if self.tid else ""
        return f"Tag(epc={self.epc_hex}, antenna={self.antenna}, rssi={self.rssi}{tid})"

    @property
    def epc_hex(self) -> str:
        return self.epc.hex().upper()

    @property
    def tid_hex(self) -> str:
        return self.tid.hex().upper()

    @property
    def gs1(self) -> Optional["epc.Gs1"]:
        """The tag's GS1 identity (tessaro.epc.Gs1), or None when its EPC is no GS1 EPC."""
        return epc.try_decode(self.epc)


@dataclass(frozen=True)
class Mask:
    """Selects tags by bits of their memory.

    bank: the bank the bits lie in; address: the first bit, counted as Gen2
    counts it (the EPC bank's EPC starts at bit 0x20); data: the bits, first
    bit first; length: how many bits of `data` count (all of them by default).
    """
    bank: int
    address: int
    data: bytes
    length: Optional[int] = None

    @property
    def bits(self) -> int:
        return len(self.data) * 8 if self.length is None else self.length


# The region plans by code, with the names the `tessaro` tool uses.
REGION_NAMES = {1: ("china", "China"), 2: ("us", "US (FCC)"), 3: ("korea", "Korea"),
                4: ("eu", "EU (ETSI)"), 5: ("japan", "Japan")}
WORK_MODES = ("answer", "active", "trigger")


@dataclass(frozen=True)
class Region:
    """A region code with the channel range in use."""
    code: int
    name: str            # "us", ... (REGION_NAMES); "" for a code without a plan
    min_channel: int
    max_channel: int
    frequencies_mhz: Tuple[float, ...] = field(repr=False)  # the channels in use; empty
                                                             # when the plan lacks them

    def __repr__(self) -> str:
        band = (f", {self.frequencies_mhz[0]}-{self.frequencies_mhz[-1]} MHz"
                if self.frequencies_mhz else "")
        return (f"Region({self.code} {self.name or '(no plan)'}, "
                f"channels {self.min_channel}-{self.max_channel}{band})")


@dataclass(frozen=True)
class ReaderInfo:
    """What GetReaderInformation tells, in words."""
    address: int
    version: str                 # "major.minor"
    reader_type: int
    protocols: Tuple[str, ...]   # "EPC Gen2", "ISO 18000-6B"
    region: Region
    power_dbm: int
    scan_time_ms: int
    antennas: Tuple[int, ...]    # the antennas in use, 1 to 4
    beep: bool
    work_mode: str               # "answer", "active", "trigger" (else "mode N")
    comm_type: int


TagSelector = Union[None, bytes, str, Tag, Mask]
Password = Union[int, bytes, str]


def _bytes(value: Union[bytes, bytearray, str, Tag], what: str) -> bytes:
    """Bytes from bytes, a hex text ("3034 257B", blanks ignored) or a Tag's EPC."""
    if isinstance(value, Tag):
        return value.epc
    if isinstance(value, str):
        try:
            return bytes.fromhex(value.replace(" ", ""))
        except ValueError:
            raise ValueError(f"{what} must be hex digits, two per byte: {value!r}") from None
    if isinstance(value, (bytes, bytearray)):
        return bytes(value)
    raise TypeError(f"{what} must be bytes or a hex text, not {type(value).__name__}")


def _password(value: Password) -> bytes:
    """Four bytes, as they go to the tag: 0x5EC0DE01, "5EC0DE01" or b"\\x5e\\xc0\\xde\\x01"."""
    if isinstance(value, int):
        if not 0 <= value <= 0xFFFFFFFF:
            raise ValueError(f"a password is 32 bits: {value:#x}")
        return value.to_bytes(4, "big")
    data = _bytes(value, "password")
    if len(data) != 4:
        raise ValueError(f"a password is 4 bytes, not {len(data)}")
    return data


def _in(data: bytes):
    """A C copy of `data` for an [in] pointer (never NULL: at least one byte)."""
    return (c_ubyte * max(len(data), 1)).from_buffer_copy(data or b"\0")


def _out(size: int):
    return (c_ubyte * size)()


def _byte(value: int, what: str) -> int:
    if not 0 <= value <= 0xFF:
        raise ValueError(f"{what} must be 0 to 255: {value}")
    return value


class _Selection:
    """The six tag-selection arguments of the Gen2 tag commands."""

    def __init__(self, tag: TagSelector) -> None:
        self.epc, self.words = _in(b""), 0
        self.mask = _MaskBlock(None)
        if isinstance(tag, Mask):
            self.words, self.mask = 255, _MaskBlock(tag)
        elif tag is not None:
            epc = _bytes(tag, "tag")
            if len(epc) % 2 or not 0 < len(epc) <= 62:
                raise ValueError(f"an EPC is 1 to 31 words (an even number of bytes): {len(epc)} bytes")
            self.epc, self.words = _in(epc), len(epc) // 2

    def arguments(self) -> tuple:
        return (self.epc, self.words)


class _MaskBlock:
    """maskMem, maskAddress (2 bytes), maskLength (bits), maskData."""

    def __init__(self, mask: Optional[Mask]) -> None:
        if mask is None:
            self.bank, self.address, self.bits, self.data = 1, _in(b"\0\0"), 0, _in(b"")
            return
        if not 0 <= mask.bits <= 255 or (mask.bits + 7) // 8 > len(mask.data):
            raise ValueError(f"a mask is 0 to 255 bits, all of them in its data: {mask.bits} bits")
        if not 0 <= mask.address <= 0xFFFF:
            raise ValueError(f"a mask's bit address is 0 to 65535: {mask.address}")
        self.bank, self.bits = _byte(mask.bank, "mask bank"), mask.bits
        self.address = _in(mask.address.to_bytes(2, "big"))
        self.data = _in(mask.data[: (mask.bits + 7) // 8])

    def arguments(self) -> tuple:
        return (self.bank, self.address, self.bits, self.data)


def _tags(epc_list, length: int) -> List[Tag]:
    """Decodes an EPC-ID list with the library's decoder."""
    library = _native.tessaro()
    offset, record, tags = c_int(0), _native.TagRecord(), []
    while True:
        result = library.TessaroDecodeTagRecord(epc_list, length, byref(offset), byref(record))
        if result != 1:
            if result < 0:
                # A record whose lengths disagree: the reader sent a damaged list.
                raise CommunicationError(ERR_COMM, "TessaroDecodeTagRecord",
                                         f"the reader's tag list does not decode at byte "
                                         f"{offset.value}")
            return tags
        tags.append(Tag(epc=ctypes.string_at(record.epc, record.epcLength),
                        antenna=record.antenna, rssi=record.rssi,
                        tid=ctypes.string_at(record.tid, record.tidLength) if record.tidLength else b""))


def decode_tags(epc_list: bytes) -> List[Tag]:
    """The tags of an EPC-ID list as Inventory_G2 or ReadBuffer_G2 hand it over."""
    return _tags(_in(epc_list), len(epc_list))


def _region_code(region: Union[int, str]) -> int:
    if isinstance(region, int):
        return region
    for code, (name, _) in REGION_NAMES.items():
        if region == name:
            return code
    raise ValueError(f"regions are {', '.join(n for n, _ in REGION_NAMES.values())}: {region!r}")


def channels(region: Union[int, str]) -> List[float]:
    """The channel frequencies of a region's plan (a code, or its name: "us", "eu", ...),
    in MHz; empty for a code without a plan."""
    region = _region_code(region)
    library = _native.tessaro()
    texts = (c_void_p * 52)()
    library.GetChannelList(region, texts)
    frequencies = []
    owned = 1 <= region <= 4       # region 5's texts are the library's constants
    for pointer in texts:
        if not pointer:
            break
        frequencies.append(float(ctypes.string_at(pointer).decode().split()[0]))
        if owned:
            _libc_free()(pointer)
    return frequencies


@functools.lru_cache(maxsize=None)
def _libc_free():
    """The C library's free(), for the texts GetChannelList allocates."""
    free = ctypes.CDLL(None).free
    free.argtypes, free.restype = [c_void_p], None
    return free


def sdk_version() -> str:
    """The library's version, e.g. "1.2.0"."""
    version = _out(3)
    _native.tessaro().GetSDKVersion(version)
    return ".".join(str(part) for part in version)


def _region(max_channel_byte: int, min_channel_byte: int) -> Region:
    code = ((max_channel_byte >> 6) << 2) | (min_channel_byte >> 6)
    low, high = min_channel_byte & 0x3F, max_channel_byte & 0x3F
    plan = channels(code)
    return Region(code, REGION_NAMES.get(code, ("", ""))[0], low, high,
                  tuple(plan[low:high + 1]) if low <= high < len(plan) else ())


class _Ports:
    """The port table is the process's: the first Reader opens it (OpenUSBPort
    opens every reader found), the last one to close closes it. A change of
    transport (a simulator installed or closed) empties the table in the
    library; Readers opened before it then no longer count."""
    users = 0
    generation = 0
    lock = threading.Lock()

    @classmethod
    def acquire(cls) -> int:
        with cls.lock:
            if cls.users == 0:
                port = c_int(0)
                if _native.tessaro().OpenUSBPort(byref(port)) != 0:
                    raise ReaderNotFoundError(ERR_COMM, "OpenUSBPort",
                                              "no reader found: no HID device 0470:A112 answered")
            cls.users += 1
            return cls.generation

    @classmethod
    def release(cls, generation: int) -> None:
        with cls.lock:
            if generation != cls.generation:
                return
            cls.users -= 1
            if cls.users == 0:
                for index in range(1, MAX_PORTS):
                    _native.tessaro().CloseUSBPort(index)

    @classmethod
    def before_transport_change(cls) -> None:
        """Readings end before the transport they read through goes."""
        from .stream import stop_all
        stop_all()

    @classmethod
    def transport_changed(cls) -> None:
        with cls.lock:
            cls.users = 0
            cls.generation += 1


class Reader:
    """One reader of the USB bus (or of an installed simulator).

    `port` 1 is the first reader found, 2 the second, and so on. `address` is
    the reader address of the command frames (0xFF: any reader). Use it as a
    context manager, or call close().

    Opening reads the reader's information: the library learns the reader's
    scan time from it, and waits for inventory answers accordingly.
    """

    def __init__(self, port: int = 1, address: int = BROADCAST) -> None:
        if not 1 <= port < MAX_PORTS:
            raise ValueError(f"a port is 1 to {MAX_PORTS - 1}: {port}")
        self._lib = _native.tessaro()
        self._address = c_ubyte(_byte(address, "address"))
        self.port = port
        self._generation = _Ports.acquire()
        self._open = True
        self._streams: "weakref.WeakSet" = weakref.WeakSet()
        try:
            self.info()
        except TessaroError:
            self.close()
            raise

    def __enter__(self) -> "Reader":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def close(self) -> None:
        """Stops the reader's streams and closes the port (the last Reader closes
        them all). Safe to call twice."""
        if self._open:
            self._open = False
            for stream in list(self._streams):
                stream.stop()
            _Ports.release(self._generation)

    @property
    def address(self) -> int:
        return self._address.value

    # -- calls -------------------------------------------------------------

    def _call(self, name: str, *arguments) -> int:
        """Calls `name`(address, *arguments, port) and returns its code."""
        return getattr(self._lib, name)(byref(self._address), *arguments, self.port)

    def _run(self, name: str, *arguments) -> None:
        check(self._call(name, *arguments), name)

    def _tag_call(self, name: str, *arguments) -> None:
        """A tag command whose second-last argument is errorCode."""
        error_code = c_int(-1)
        check(self._call(name, *arguments, byref(error_code)), name, error_code.value)

    # -- identity ------------------------------------------------------------

    def info(self) -> ReaderInfo:
        """The reader's identity and settings."""
        version, b = _out(2), [c_ubyte() for _ in range(10)]
        self._run("GetReaderInformation", version, *[byref(x) for x in b])
        b = [x.value for x in b]
        self._scan_units = b[5]
        protocols = tuple(name for bit, name in ((1, "EPC Gen2"), (0, "ISO 18000-6B"))
                          if b[1] >> bit & 1)
        return ReaderInfo(address=self.address, version=f"{version[0]}.{version[1]}",
                          reader_type=b[0], protocols=protocols, region=_region(b[2], b[3]),
                          power_dbm=b[4], scan_time_ms=100 * b[5],
                          antennas=tuple(k + 1 for k in range(4) if b[6] >> k & 1),
                          beep=bool(b[7]),
                          work_mode=WORK_MODES[b[8]] if b[8] < len(WORK_MODES) else f"mode {b[8]}",
                          comm_type=b[9])

    def serial_number(self) -> bytes:
        serial = _out(4)
        self._run("GetSeriaNo", serial)
        return bytes(serial)

    def module_version(self) -> str:
        version = _out(2)
        self._run("GetModuleVersion", version)
        return f"{version[0]}.{version[1]}"

    # -- Gen2 inventory -----------------------------------------------------------

    def inventory(self, q: int = 4, session: int = 0, *, mask: Optional[Mask] = None,
                  tid: Optional[Tuple[int, int]] = None, antenna: Optional[int] = None,
                  target: int = 0, scan_time_ms: Optional[int] = None) -> List[Tag]:
        """One Gen2 inventory round: the tags that answered (an empty list when none did).

        q, session: the Gen2 round's Q (0 to 15) and session (0 to 3).
        mask: only the tags whose memory matches it.
        tid: (first word, word count) of the TID bank to read with each EPC.
        antenna: only this antenna (1 to 4); by default those of the reader's setting.
        target, scan_time_ms: Gen2 target flag (0 A, 1 B) and a scan time for this
            round (the reader's own by default).
        """
        block = _MaskBlock(mask)
        tid_address, tid_words = tid if tid else (0, 0)
        target_block = antenna is not None or scan_time_ms is not None or target != 0
        antenna_byte = 0
        if antenna is not None:
            if not 1 <= antenna <= 4:
                raise ValueError(f"an antenna is 1 to 4: {antenna}")
            antenna_byte = 0x80 + antenna - 1
        scan_units = (self._scan_units if scan_time_ms is None
                      else _byte(scan_time_ms // 100, "scan time / 100 ms"))
        epc_list, last_antenna = _out(EPC_LIST_MAX_BYTES), c_ubyte()
        total, count = c_int(0), c_int(0)
        code = self._call("Inventory_G2", _byte(q, "q"), _byte(session, "session"),
                          *block.arguments(), int(mask is not None),
                          _byte(tid_address, "TID word"), _byte(tid_words, "TID words"),
                          int(tid is not None), _byte(target, "target"), antenna_byte,
                          scan_units, int(target_block), epc_list, byref(last_antenna),
                          byref(total), byref(count))
        if code == STATUS_NO_TAG:
            return []
        if code not in (1, 2):
            raise error_for(code, "Inventory_G2")
        return _tags(epc_list, total.value)

    def watch(self, rounds: Optional[int] = None, seconds: Optional[float] = None,
              **options) -> Iterator[Tag]:
        """Inventories round after round and yields every tag read.

        Stops after `rounds` rounds or once `seconds` have passed (checked
        between rounds), whichever comes first; runs until the caller stops
        iterating when neither is given. `options` are those of inventory().
        """
        deadline = None if seconds is None else time.monotonic() + seconds
        done = 0
        while (rounds is None or done < rounds) and (deadline is None or time.monotonic() < deadline):
            yield from self.inventory(**options)
            done += 1

    def stream(self, *, presence: bool = False, depart_after_ms: int = 3000,
               dedup_window_ms: int = 0, pause_ms: int = 100, mode: str = "inventory",
               q: int = 4, session: int = 0, mask: Optional[Mask] = None,
               tid: Optional[Tuple[int, int]] = None, antenna: Optional[int] = None,
               target: int = 0, scan_time_ms: Optional[int] = None,
               lost_after_failures: int = 2, retry_interval_ms: int = 1000,
               max_queued: int = 100000) -> "Stream":
        """Reads continuously in the background until stopped: a Stream of
        TagRead, Presence (with presence=True) and ReaderStatus events, to
        iterate with `for` or `async for` (tessaro.stream describes it).

        mode: "inventory", "fast" (Fast_EPC_Inventory_G2) or "buffered" (the
            reader's tag buffer).
        presence: Presence events, a tag departing once not read for
            depart_after_ms.
        dedup_window_ms: reads of a tag within this time after a passed-on
            read are not passed on (0: every read).
        pause_ms: between rounds. lost_after_failures, retry_interval_ms: when
            the reader counts as lost (a ReaderStatus "lost") and how often it
            is looked for ("back" once it answers again).
        q, session, mask, tid, antenna, target, scan_time_ms: as inventory().
        """
        from .stream import Stream, reading_options
        options = reading_options(
            mode=mode, address=self.address, q=q, session=session, mask=mask, tid=tid,
            antenna=antenna, target=target, scan_time_ms=scan_time_ms,
            reader_scan_units=self._scan_units, pause_ms=pause_ms, dedup_window_ms=dedup_window_ms, presence=presence,
            depart_after_ms=depart_after_ms, lost_after_failures=lost_after_failures,
            retry_interval_ms=retry_interval_ms)
        if max_queued < 1:
            raise ValueError(f"max_queued is at least 1: {max_queued}")
        stream = Stream(self.port, options, max_queued)
        self._streams.add(stream)
        return stream

    # -- Gen2 tag memory and state ----------------------------------------------------

    def read(self, bank: int, word: int, count: int, tag: TagSelector = None,
             password: Password = 0) -> bytes:
        """Reads `count` words from word `word` of a bank of the tag (by EPC or Mask;
        None: whichever tag answers)."""
        if not 1 <= count <= 120:
            raise ValueError(f"a read is 1 to 120 words: {count}")
        select, data = _Selection(tag), _out(2 * count)
        self._tag_call("ReadData_G2", *select.arguments(), _byte(bank, "bank"),
                       _byte(word, "word"), count, _in(_password(password)),
                       *select.mask.arguments(), data)
        return bytes(data)

    def write(self, bank: int, word: int, data: Union[bytes, str], tag: TagSelector = None,
              password: Password = 0) -> None:
        """Writes whole words (an even number of bytes) from word `word` on."""
        data = _bytes(data, "data")
        if not data or len(data) % 2:
            raise ValueError(f"a write is whole words, at least one: {len(data)} bytes")
        select = _Selection(tag)
        self._tag_call("WriteData_G2", select.epc, len(data) // 2, select.words,
                       _byte(bank, "bank"), _byte(word, "word"), _in(data),
                       _in(_password(password)), *select.mask.arguments())

    def erase(self, bank: int, word: int, count: int, tag: TagSelector = None,
              password: Password = 0) -> None:
        """Erases `count` words from word `word` on."""
        select = _Selection(tag)
        self._tag_call("BlockErase_G2", *select.arguments(), _byte(bank, "bank"),
                       _byte(word, "word"), _byte(count, "count"), _in(_password(password)),
                       *select.mask.arguments())

    def write_epc(self, epc: Union[bytes, str], password: Password = 0) -> None:
        """Writes the EPC of the one tag in the field (1 to 25 words)."""
        epc = _bytes(epc, "epc")
        if len(epc) % 2 or not 0 < len(epc) <= 50:
            raise ValueError(f"an EPC to write is 1 to 25 words: {len(epc)} bytes")
        error_code = c_int(-1)
        code = self._call("WriteEPC_G2", _in(_password(password)), _in(epc), len(epc) // 2,
                          byref(error_code))
        check(code, "WriteEPC_G2", error_code.value)

    def lock(self, target: int, action: int, tag: TagSelector = None,
             password: Password = 0) -> None:
        """Locks a password or bank (LockTarget) into a state (LockAction)."""
        select = _Selection(tag)
        self._tag_call("Lock_G2", *select.arguments(), _byte(target, "target"),
                       _byte(action, "action"), _in(_password(password)),
                       *select.mask.arguments())

    def kill(self, kill_password: Password, tag: TagSelector = None) -> None:
        """Kills the tag for ever (its kill password must not be zero)."""
        select = _Selection(tag)
        self._tag_call("KillTag_G2", *select.arguments(), _in(_password(kill_password)),
                       *select.mask.arguments())

    # -- ISO 18000-6B -----------------------------------------------------------

    def inventory_6b(self) -> List[bytes]:
        """The identifiers (8 bytes each) of the 6B tags in the field."""
        antennas, data, count = c_ubyte(), _out(248), c_int(0)
        code = self._call("InventoryMultiple_6B", 0, 0, 0, _in(bytes(8)), byref(antennas),
                          data, byref(count))
        if code == STATUS_NO_TAG:
            return []
        check(code, "InventoryMultiple_6B")
        return [bytes(data[8 * k:8 * k + 8]) for k in range(min(count.value, len(data) // 8))]

    def read_6b(self, uid: Union[bytes, str], address: int, length: int) -> bytes:
        """Reads `length` bytes (1 to 240) of a 6B tag from byte `address` on."""
        if not 1 <= length <= 240:
            raise ValueError(f"a 6B read is 1 to 240 bytes: {length}")
        uid, data = self._uid(uid), _out(length)
        self._tag_call("ReadData_6B", uid, _byte(address, "address"), length, data)
        return bytes(data[:length])

    def write_6b(self, uid: Union[bytes, str], address: int, data: Union[bytes, str]) -> None:
        """Writes bytes (at most 48) to a 6B tag from byte `address` on."""
        data = _bytes(data, "data")
        written = c_ubyte()
        self._tag_call("WriteData_6B", self._uid(uid), _byte(address, "address"), _in(data),
                       len(data), byref(written))

    def lock_6b(self, uid: Union[bytes, str], address: int) -> None:
        """Locks one byte of a 6B tag, for ever."""
        self._tag_call("Lock_6B", self._uid(uid), _byte(address, "address"))

    def is_locked_6b(self, uid: Union[bytes, str], address: int) -> bool:
        """Whether a byte of a 6B tag is locked."""
        state = c_ubyte()
        self._tag_call("CheckLock_6B", self._uid(uid), _byte(address, "address"), byref(state))
        return bool(state.value)

    @staticmethod
    def _uid(uid: Union[bytes, str]):
        uid = _bytes(uid, "uid")
        if len(uid) != 8:
            raise ValueError(f"a 6B identifier is 8 bytes, not {len(uid)}")
        return _in(uid)

    # -- settings ----------------------------------------------------------------

    def set_power(self, dbm: int) -> None:
        """RF power in dBm (the reader takes 0 to 30)."""
        self._run("SetRfPower", _byte(dbm, "power"))

    def set_scan_time(self, ms: int) -> None:
        """The inventory scan time, in steps of 100 ms (300 to 25500)."""
        self._run("SetInventoryScanTime", _byte(ms // 100, "scan time / 100 ms"))
        self.info()    # the library stretches its inventory waits by what it reads here

    def set_antennas(self, antennas: Sequence[int]) -> None:
        """The antennas to use, e.g. [1, 3]."""
        if not antennas or any(not 1 <= a <= 4 for a in antennas):
            raise ValueError(f"antennas are 1 to 4, at least one: {list(antennas)}")
        self._run("SetAntennaMultiplexing", sum(1 << (a - 1) for a in set(antennas)))

    def set_beep(self, on: bool) -> None:
        self._run("SetBeepNotification", int(bool(on)))

    def set_work_mode(self, mode: Union[int, str]) -> None:
        """"answer", "active", "trigger", or the mode's number."""
        if isinstance(mode, str):
            if mode not in WORK_MODES:
                raise ValueError(f"work modes are {', '.join(WORK_MODES)}: {mode!r}")
            mode = WORK_MODES.index(mode)
        self._run("SetWorkMode", _byte(mode, "work mode"))

    def set_address(self, address: int) -> None:
        """Gives the reader a new address; later commands use it."""
        self._run("SetAddress", _byte(address, "address"))

    def set_region(self, region: Union[int, str], min_channel: Optional[int] = None,
                   max_channel: Optional[int] = None) -> None:
        """Sets a region (1 to 5, or its name: "us", "eu", ...; channels(region)
        lists its plan) with a channel range, all of its channels by default."""
        code = _region_code(region)
        plan = channels(code)
        if not plan:
            raise ValueError(f"region {code} has no channel plan (1 to 5 have)")
        if min_channel is None and max_channel is None:
            self._run("SetRegionWithDefaultChannel", code)
            return
        low = 0 if min_channel is None else min_channel
        high = len(plan) - 1 if max_channel is None else max_channel
        if not 0 <= low <= high < len(plan):
            raise ValueError(f"region {code} has channels 0 to {len(plan) - 1}: {low} to {high}")
        self._run("SetRegionAndChannel", code, low, high)

    def clock(self) -> datetime.datetime:
        """The reader's real-time clock."""
        data = _out(6)
        self._run("GetTime", data)
        try:
            return datetime.datetime(2000 + data[0], data[1], data[2], data[3], data[4], data[5])
        except ValueError:
            raise TessaroError(ERR_COMM, "GetTime",
                               f"the reader's clock holds no valid date: {bytes(data).hex()}") from None

    def set_clock(self, when: datetime.datetime) -> None:
        if not 2000 <= when.year <= 2099:
            raise ValueError(f"the reader's clock runs from 2000 to 2099: {when.year}")
        self._run("SetReal_timeClock", _in(bytes([when.year - 2000, when.month, when.day,
                                                  when.hour, when.minute, when.second])))

    def set_relay(self, value: int) -> None:
        self._run("SetRelay", _byte(value, "relay"))

    def set_gpio(self, outputs: int) -> None:
        self._run("SetGPIO", _byte(outputs, "GPIO outputs"))

    def gpio(self) -> int:
        """The GPIO lines, one bit each."""
        status = c_ubyte()
        self._run("GetGPIOStatus", byref(status))
        return status.value


def open(port: int = 1, address: int = BROADCAST) -> Reader:  # noqa: A001 - tessaro.open()
    """Opens a reader: `with tessaro.open() as reader: ...`."""
    return Reader(port=port, address=address)
