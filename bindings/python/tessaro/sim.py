"""The simulated reader of libTessaroSim, for scripts and tests without hardware.

    from tessaro.sim import Simulator
    with Simulator() as sim:                     # virtual clock: waits take no time
        sim.load_population("shelf.tags")
        sim.install()                            # tessaro.open() now finds it
        with tessaro.open() as reader:
            print(len(reader.inventory()))

docs/simulator.md describes how the simulated reader behaves.
"""
from __future__ import annotations

import ctypes
import os
import sys
from ctypes import byref
from dataclasses import dataclass
from pathlib import Path
from enum import IntEnum
from typing import Dict, Optional, Sequence, Tuple, Union

from . import _native
from .reader import _Ports

VIRTUAL_CLOCK = 0
REAL_CLOCK = 1
_ERROR = -1


class Fault(IntEnum):
    """Faults a reader can be made to show (Simulator.inject_fault)."""
    DROP = 1           # the next `count` input reports are lost
    DUPLICATE = 2      # ... come twice
    DELAY = 3          # ... come `value` ms late
    CORRUPT = 4        # frame byte `value` of the next `count` input reports is inverted
    BAD_COUNT = 5      # ... claim 63 frame bytes
    REFUSE_WRITES = 6  # the next `count` output reports are refused (-1: until cleared)
    SILENT = 7         # the next `count` reads time out (-1: until cleared)
    UNPLUG = 8         # the reader is unplugged after `value` more input reports
    WRONG_ECHO = 9     # the next `count` answers echo another command code
    BAD_CRC = 10       # the next `count` answers carry a wrong CRC


def sample_shelf() -> Path:
    """The sample shelf of the simulated reader (sim/populations/shelf.tags: 21
    Gen2 items on four antennas and two ISO 18000-6B tags), wherever the
    package was installed from: inside the package (pip), in the source tree
    (run from there), or beside the library (cmake --install, the Debian
    package: <prefix>/share/tessaro/populations)."""
    package = Path(__file__).resolve().parent
    places = [package / "shelf.tags", package.parents[2] / "sim" / "populations" / "shelf.tags"]
    library = Path(_native.tessaro().path)
    prefixes = ([library.resolve().parents[1]] if library.is_absolute() else []) + \
        [Path(sys.prefix), Path("/usr/local"), Path("/usr")]
    places += [prefix / "share" / "tessaro" / "populations" / "shelf.tags" for prefix in prefixes]
    for place in places:
        if place.is_file():
            return place
    raise FileNotFoundError("the sample shelf (shelf.tags) is in none of "
                            + ", ".join(map(str, places)))


class SimulatorError(ValueError):
    """The simulator refused an argument (an unknown reader or tag, a bad population line)."""


@dataclass(frozen=True)
class TagState:
    """A simulated tag beside its memory."""
    kind: str                  # "gen2" or "6b"
    antenna: int               # 0: out of the field
    rssi: int
    killed: bool
    hidden: bool
    eas: bool
    qt: Optional[int]          # the QT byte of a Monza 4QT tag, else None
    locks: Tuple[int, ...]     # LockAction by LockTarget
    user_block_locks: int


class Simulator:
    """A USB bus of simulated readers (one unless `readers` says otherwise).

    clock: "virtual" (every wait takes no real time; the simulator is the
    library's clock) or "real". `population`: a population file for reader 0.
    """

    def __init__(self, clock: str = "virtual", readers: int = 1,
                 population: Optional[Union[str, os.PathLike]] = None) -> None:
        if clock not in ("virtual", "real"):
            raise ValueError(f'clock is "virtual" or "real", not {clock!r}')
        self._lib = _native.simulator()
        self._sim = self._lib.TessaroSimCreate(VIRTUAL_CLOCK if clock == "virtual" else REAL_CLOCK)
        if not self._sim:
            raise MemoryError("TessaroSimCreate")
        for _ in range(readers):
            self.add_reader()
        if population is not None:
            self.load_population(population)

    def __enter__(self) -> "Simulator":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def close(self) -> None:
        """Uninstalls (the library goes back to USB) and frees the simulator."""
        if self._sim:
            _Ports.before_transport_change()
            self._lib.TessaroSimDestroy(self._sim)
            self._sim = None
            _Ports.transport_changed()

    def _check(self, result: int, what: str, error: Optional[ctypes.Array] = None) -> int:
        if self._sim is None:
            raise SimulatorError("the simulator is closed")
        if result == _ERROR:
            detail = error.value.decode("utf-8", "replace") if error is not None else ""
            raise SimulatorError(f"{what}: {detail or 'refused'}")
        return result

    def install(self) -> None:
        """Routes the library to the simulator: tessaro.open() finds its readers.
        Readers opened before are closed (their commands fail)."""
        if self._sim:
            _Ports.before_transport_change()
        self._check(self._lib.TessaroSimInstall(self._sim), "install")
        _Ports.transport_changed()

    def add_reader(self) -> int:
        """Plugs in a reader; returns its number (reader k opens at port k + 1)."""
        return self._check(self._lib.TessaroSimAddReader(self._sim), "add_reader")

    # -- tags ---------------------------------------------------------------

    def add_tag(self, line: str, reader: int = 0) -> int:
        """Adds a tag described by a population line, e.g.
        "gen2 epc=300833B2DDD9014000000001 antenna=2 rssi=-55"; returns its number."""
        error = ctypes.create_string_buffer(256)
        return self._check(self._lib.TessaroSimAddTag(self._sim, reader, line.encode(), error,
                                                      len(error)), "add_tag", error)

    def load_population(self, path: Union[str, os.PathLike], reader: int = 0) -> int:
        """Adds the tags of a population file (all or none); returns how many."""
        error = ctypes.create_string_buffer(256)
        return self._check(self._lib.TessaroSimLoadPopulation(
            self._sim, reader, os.fsencode(path), error, len(error)), str(path), error)

    def load_population_text(self, text: str, reader: int = 0) -> int:
        """The same for a population held in a string."""
        error = ctypes.create_string_buffer(256)
        return self._check(self._lib.TessaroSimLoadPopulationText(
            self._sim, reader, text.encode(), error, len(error)), "population", error)

    def tag_count(self, reader: int = 0) -> int:
        return self._check(self._lib.TessaroSimTagCount(self._sim, reader), "tag_count")

    def place_tag(self, tag: int, antenna: int, rssi: int = -50, reader: int = 0) -> None:
        """Moves a tag to an antenna (1 to 4; 0 takes it out of the field)."""
        self._check(self._lib.TessaroSimPlaceTag(self._sim, reader, tag, antenna, rssi),
                    "place_tag")

    def tag_state(self, tag: int, reader: int = 0) -> TagState:
        state = _native.SimTagState()
        self._check(self._lib.TessaroSimGetTagState(self._sim, reader, tag, byref(state)),
                    "tag_state")
        return TagState(kind="gen2" if state.kind == 1 else "6b", antenna=state.antenna,
                        rssi=state.rssi, killed=bool(state.killed), hidden=bool(state.hidden),
                        eas=bool(state.eas), qt=state.qt if state.qtSupported else None,
                        locks=tuple(state.locks), user_block_locks=state.userBlockLocks)

    def tag_memory(self, tag: int, bank: int, reader: int = 0) -> bytes:
        """A tag's memory: Gen2 banks 0 to 3, or 4 (6B memory) and 5 (6B byte locks)."""
        size = self._check(self._lib.TessaroSimReadTagMemory(self._sim, reader, tag, bank,
                                                             None, 0), "tag_memory")
        data = (ctypes.c_ubyte * max(size, 1))()
        self._lib.TessaroSimReadTagMemory(self._sim, reader, tag, bank, data, size)
        return bytes(data[:size])

    # -- faults ---------------------------------------------------------------

    def inject_fault(self, kind: Fault, count: int = 1, value: int = 0, reader: int = 0) -> None:
        """Arms a fault (see Fault); arming a kind again replaces it."""
        self._check(self._lib.TessaroSimInjectFault(self._sim, reader, int(kind), count, value),
                    "inject_fault")

    def split_reports(self, sizes: Sequence[int], reader: int = 0) -> None:
        """Cuts later answers into input reports of these sizes (1 to 62; the last repeats)."""
        data = (ctypes.c_ubyte * max(len(sizes), 1))(*sizes)
        self._check(self._lib.TessaroSimSplitReports(self._sim, reader, data, len(sizes)),
                    "split_reports")

    def clear_faults(self, reader: int = 0) -> None:
        self._check(self._lib.TessaroSimClearFaults(self._sim, reader), "clear_faults")

    def set_plugged(self, plugged: bool, reader: int = 0) -> None:
        self._check(self._lib.TessaroSimSetPlugged(self._sim, reader, int(plugged)),
                    "set_plugged")

    # -- reader state and time ----------------------------------------------------

    def reader_state(self, reader: int = 0) -> _native.SimReaderState:
        """Every setting of a reader (a ctypes structure named as TessaroSim.h names them)."""
        state = _native.SimReaderState()
        self._check(self._lib.TessaroSimGetReaderState(self._sim, reader, byref(state)),
                    "reader_state")
        return state

    def set_reader_state(self, state: _native.SimReaderState, reader: int = 0) -> None:
        self._check(self._lib.TessaroSimSetReaderState(self._sim, reader, byref(state)),
                    "set_reader_state")

    def counters(self, reader: int = 0) -> Dict[str, int]:
        """What the reader saw: data reports, frames answered, polls, ..."""
        counters = _native.SimCounters()
        self._check(self._lib.TessaroSimGetCounters(self._sim, reader, byref(counters)),
                    "counters")
        return {name: getattr(counters, name) for name, _ in counters._fields_}

    @property
    def now_ms(self) -> int:
        """The simulation's millisecond clock."""
        return self._lib.TessaroSimNowMs(self._sim)

    def advance(self, ms: int) -> None:
        """Lets `ms` milliseconds pass (slept for real with the real clock)."""
        self._check(self._lib.TessaroSimAdvanceMs(self._sim, ms), "advance")
