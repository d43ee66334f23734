"""Continuous reading in the background (the library's TessaroReading.h), as a
stream of events to iterate over, with `for` or with `async for`:

    with reader.stream(presence=True) as stream:
        for event in stream:             # TagRead, Presence or ReaderStatus
            print(event)
            if enough:
                stream.stop()

    async with reader.stream() as stream:
        async for event in stream:
            ...

The library reads on a thread of its own and calls back for every read,
presence change and change of the reader's state. The callbacks only put the
event into the stream's queue (they never wait, and never run your code), so
the reading thread cannot block on Python: stopping, from the loop, from
another thread or by leaving the `with` block, returns once the round that
runs has ended.
"""
from __future__ import annotations

import asyncio
import atexit
import ctypes
import datetime
import queue
import threading
import weakref
from ctypes import byref, c_void_p
from dataclasses import dataclass
from typing import Optional, Tuple, Union

from . import _native
from .errors import check

MODES = {"inventory": 0, "fast": 1, "buffered": 2}
_STATUS_EVENTS = {1: "lost", 2: "back", 3: "error"}
_PRESENCE_EVENTS = {1: "arrived", 2: "departed"}


def _wall_clock(ms: int) -> datetime.datetime:
    return datetime.datetime.fromtimestamp(ms / 1000, datetime.timezone.utc)


class _WithEpc:
    epc: bytes

    @property
    def epc_hex(self) -> str:
        return self.epc.hex().upper()


@dataclass(frozen=True)
class TagRead(_WithEpc):
    """One read of one tag."""
    epc: bytes
    antenna: int                 # 1 to 4
    rssi: int                    # dBm
    tid: bytes                   # empty unless the stream reads TIDs
    round: int                   # 1 for the first round
    monotonic_ms: int            # the library's clock (virtual under a virtual simulator)
    time: datetime.datetime      # the wall clock, UTC

    def __repr__(self) -> str:
        return f"TagRead(epc={self.epc_hex}, antenna={self.antenna}, rssi={self.rssi}, round={self.round})"


@dataclass(frozen=True)
class Presence(_WithEpc):
    """A tag arrived in the field (first read) or departed (not read for depart_after_ms)."""
    event: str                   # "arrived" or "departed"
    epc: bytes
    antenna: int                 # of the last read
    reads: int                   # since it arrived
    peak_rssi: int               # the strongest of those reads, dBm
    first_seen_ms: int
    last_seen_ms: int
    time: datetime.datetime

    def __repr__(self) -> str:
        return f"Presence({self.event} {self.epc_hex}, antenna={self.antenna}, reads={self.reads})"


@dataclass(frozen=True)
class ReaderStatus:
    """The reader was lost (stopped answering), is back, or a round failed."""
    event: str                   # "lost", "back" or "error"
    code: int                    # the return code behind it (0 when none)
    text: str
    time: datetime.datetime


@dataclass(frozen=True)
class StreamStats:
    """TessaroReadingGetStats, and what the stream itself counted."""
    rounds: int
    reads: int                   # tag records decoded
    reported: int                # reads passed on (after de-duplication)
    lost: int                    # times the reader was lost
    bad_lists: int               # tag lists that did not decode to their end
    tags_overflow: int
    running: bool
    reader_lost: bool
    dropped: int                 # events the queue had no room for (the consumer fell behind)


Event = Union[TagRead, Presence, ReaderStatus]

_STOPPED = object()              # wakes a consumer waiting on an empty queue
_live: "weakref.WeakSet[Stream]" = weakref.WeakSet()


def stop_all() -> None:
    """Stops every running stream: before the transport changes (a simulator
    installed or closed) and when the interpreter exits, while the reading
    threads may still call into Python."""
    for stream in list(_live):
        stream.stop()


atexit.register(stop_all)


class Stream:
    """A reading of one reader's port; see the module's description.

    Iterating yields TagRead, Presence and ReaderStatus events until stop();
    events not yet taken when it stops are dropped. At most `max_queued`
    events wait in the queue; beyond that they are counted in stats.dropped.
    """

    def __init__(self, port: int, options: "_native.ReadingOptions", max_queued: int) -> None:
        self._queue: "queue.Queue[object]" = queue.Queue(max_queued)
        self._dropped = 0
        self._stopped = threading.Event()
        self._stop_lock = threading.Lock()
        self._loop: Optional[asyncio.AbstractEventLoop] = None
        self._wake: Optional[asyncio.Event] = None
        self._final_stats: Optional[StreamStats] = None
        self._lib = _native.tessaro()
        # ctypes keeps a callback alive only as long as this object refers to it.
        self._callbacks = (_native.TagCallback(self._on_tag),
                           _native.StatusCallback(self._on_status),
                           _native.PresenceCallback(self._on_presence))
        options.onTag, options.onStatus, options.onPresence = self._callbacks
        if not options.presence:
            options.onPresence = _native.PresenceCallback()
        self._reading = c_void_p()
        check(self._lib.TessaroReadingStart(port, byref(options), byref(self._reading)),
              "TessaroReadingStart")
        _live.add(self)

    # -- the reading thread's side: enqueue and return -----------------------------------

    def _put(self, event: object) -> None:
        try:
            self._queue.put_nowait(event)
        except queue.Full:
            self._dropped += 1
            return
        loop = self._loop
        if loop is not None:
            try:
                loop.call_soon_threadsafe(self._wake.set)
            except RuntimeError:     # the event loop is closed: nobody waits there any more
                pass

    def _on_tag(self, read, _user) -> None:
        r = read.contents
        self._put(TagRead(ctypes.string_at(r.epc, r.epcLength), r.antenna, r.rssi,
                          ctypes.string_at(r.tid, r.tidLength) if r.tidLength > 0 else b"",
                          r.round, r.monotonicMs, _wall_clock(r.wallClockMs)))

    def _on_status(self, status, _user) -> None:
        s = status.contents
        self._put(ReaderStatus(_STATUS_EVENTS.get(s.event, str(s.event)), s.code,
                               (s.text or b"").decode("utf-8", "replace"), _wall_clock(s.wallClockMs)))

    def _on_presence(self, event, _user) -> None:
        e = event.contents
        self._put(Presence(_PRESENCE_EVENTS.get(e.event, str(e.event)),
                           ctypes.string_at(e.epc, e.epcLength), e.antenna, e.reads, e.peakRssi,
                           e.firstSeenMs, e.lastSeenMs, _wall_clock(e.wallClockMs)))

    # -- the consumer's side -----------------------------------------------------------

    @property
    def running(self) -> bool:
        return not self._stopped.is_set()

    def stop(self) -> None:
        """Stops the reading; returns once its thread has ended (after the round
        that runs), so no event follows. Any thread, any number of times."""
        with self._stop_lock:
            if self._reading.value is None:
                return
            # ctypes lets go of the GIL for the call, so a callback waiting
            # for it finishes and the reading thread can end.
            self._lib.TessaroReadingStop(self._reading)
            self._final_stats = self._read_stats()
            self._lib.TessaroReadingFree(self._reading)
            self._reading = c_void_p()
            self._stopped.set()
            _live.discard(self)
        try:
            self._queue.put_nowait(_STOPPED)
        except queue.Full:
            pass                     # a full queue wakes nobody: no consumer waits on it
        if self._loop is not None:
            try:
                self._loop.call_soon_threadsafe(self._wake.set)
            except RuntimeError:
                pass

    close = stop

    def _read_stats(self) -> StreamStats:
        stats = _native.ReadingStats()
        self._lib.TessaroReadingGetStats(self._reading, byref(stats))
        return StreamStats(stats.rounds, stats.reads, stats.reported, stats.lost, stats.badLists,
                           stats.tagsOverflow, bool(stats.running), bool(stats.readerLost),
                           self._dropped)

    @property
    def stats(self) -> StreamStats:
        """The reading's counters now (or when it stopped)."""
        with self._stop_lock:
            if self._reading.value is None:
                return self._final_stats
            return self._read_stats()

    def get(self, timeout: Optional[float] = None) -> Optional[Event]:
        """The next event, waiting at most `timeout` seconds (None: as long as it
        takes); None when none came in time or the stream has stopped."""
        if self._stopped.is_set():
            return None
        try:
            event = self._queue.get(timeout=timeout)
        except queue.Empty:
            return None
        return None if event is _STOPPED or self._stopped.is_set() else event

    def __iter__(self) -> "Stream":
        return self

    def __next__(self) -> Event:
        event = self.get()
        if event is None:
            raise StopIteration
        return event

    def __enter__(self) -> "Stream":
        return self

    def __exit__(self, *exc) -> None:
        self.stop()

    def __del__(self) -> None:
        try:
            self.stop()
        except Exception:            # the interpreter may be going down
            pass

    # -- asyncio -----------------------------------------------------------------------

    def __aiter__(self) -> "Stream":
        return self

    async def __anext__(self) -> Event:
        if self._loop is None:
            self._wake = asyncio.Event()
            self._loop = asyncio.get_running_loop()
        while not self._stopped.is_set():
            try:
                event = self._queue.get_nowait()
            except queue.Empty:
                # Cleared before looking again: a wake-up from an event queued
                # meanwhile runs on this loop after the clear.
                self._wake.clear()
                if self._queue.empty() and not self._stopped.is_set():
                    await self._wake.wait()
                continue
            if event is not _STOPPED:
                return event
        raise StopAsyncIteration

    async def aclose(self) -> None:
        """stop() on an executor thread, so the event loop goes on meanwhile."""
        await asyncio.get_running_loop().run_in_executor(None, self.stop)

    async def __aenter__(self) -> "Stream":
        return self

    async def __aexit__(self, *exc) -> None:
        await self.aclose()


def reading_options(*, mode: str, address: int, q: int, session: int, mask,
                    tid: Optional[Tuple[int, int]], antenna: Optional[int], target: int,
                    scan_time_ms: Optional[int], reader_scan_units: int, pause_ms: int, dedup_window_ms: int, presence: bool, depart_after_ms: int,
                    lost_after_failures: int, retry_interval_ms: int) -> "_native.ReadingOptions":
    """TessaroReadingOptions from Reader.stream()'s arguments (checked as inventory() checks them)."""
    from .reader import _byte, _MaskBlock   # reader.py imports this module
    if mode not in MODES:
        raise ValueError(f"a stream's mode is one of {', '.join(MODES)}: {mode!r}")
    for name, value in (("pause_ms", pause_ms), ("dedup_window_ms", dedup_window_ms),
                        ("depart_after_ms", depart_after_ms),
                        ("retry_interval_ms", retry_interval_ms)):
        if not 0 <= value <= 0xFFFFFFFF:
            raise ValueError(f"{name} is 0 to 2^32 - 1 ms: {value}")
    if lost_after_failures < 1:
        raise ValueError(f"lost_after_failures is at least 1: {lost_after_failures}")
    options = _native.ReadingOptions()
    _native.tessaro().TessaroReadingDefaults(byref(options))
    options.mode, options.address = MODES[mode], _byte(address, "address")
    options.qValue, options.session = _byte(q, "q"), _byte(session, "session")
    if mask is not None:
        block = _MaskBlock(mask)
        options.maskFlag, options.maskMem, options.maskLength = 1, block.bank, block.bits
        ctypes.memmove(options.maskAddress, block.address, 2)
        ctypes.memmove(options.maskData, block.data, (block.bits + 7) // 8)
    if tid is not None:
        options.tidFlag = 1
        options.tidAddress, options.tidLength = _byte(tid[0], "TID word"), _byte(tid[1], "TID words")
    if antenna is not None and not 1 <= antenna <= 4:
        raise ValueError(f"an antenna is 1 to 4: {antenna}")
    # The target block (target, antenna, scan time) goes with any of them, as
    # inventory() sends it; the scan time is then the reader's own unless given.
    options.target = _byte(target, "target")
    options.scanTime = (reader_scan_units if scan_time_ms is None
                        else _byte(scan_time_ms // 100, "scan time / 100 ms"))
    options.antenna = 0 if antenna is None else 0x80 + antenna - 1
    options.targetFlag = int(antenna is not None or target != 0 or scan_time_ms is not None)
    options.pauseMs, options.dedupWindowMs = pause_ms, dedup_window_ms
    options.presence, options.departAfterMs = int(presence), depart_after_ms
    options.lostAfterFailures, options.retryIntervalMs = lost_after_failures, retry_interval_ms
    return options
