"""What the binding's calls put on the wire and take from it: the command
frames the library writes, seen through a Link around the simulator."""
import datetime
from pathlib import Path

import pytest

import tessaro
from conftest import SOURCE_DIR
from tessaro import Bank, Mask

INVENTORY, GET_TIME = 0x01, 0x42


# Q and session, then the blocks: mask (bank, 2 address bytes, bits, bytes),
# TID (word, count), target (target, antenna byte, scan time in 100 ms).
@pytest.mark.parametrize("options, data", [
    ({}, [4, 0]),
    ({"q": 7, "session": 2}, [7, 2]),
    ({"target": 1}, [4, 0, 1, 0, 10]),                  # the reader's scan time: 10 x 100 ms
    ({"scan_time_ms": 500, "session": 3}, [4, 3, 0, 0, 5]),
    ({"antenna": 3, "target": 1, "scan_time_ms": 2500}, [4, 0, 1, 0x82, 25]),
    ({"mask": Mask(Bank.EPC, 0x20, bytes.fromhex("3036"), 12), "tid": (2, 4)},
     [4, 0, 1, 0x00, 0x20, 12, 0x30, 0x36, 2, 4]),
])
def test_inventory_options_reach_the_reader(link, options, data):
    link.reader.inventory(**options)
    assert link.commands(INVENTORY)[-1] == bytes(data)


def test_an_invalid_date_from_the_reader_is_refused(link):
    def impossible_date(frame):
        # Len Adr reCmd Status, then year - 2000, month, day, hour, minute, second
        return frame[:4] + bytes([24, 13, 1, 9, 0, 0]) if frame[2] == GET_TIME else None

    assert link.reader.clock().date() == datetime.date(2024, 1, 1)   # the reader's first day
    link.answer = impossible_date
    with pytest.raises(tessaro.TessaroError) as raised:
        link.reader.clock()
    assert raised.value.operation == "GetTime"
    assert "no valid date" in raised.value.text and "180d01090000" in raised.value.text


def test_relay_module_version_and_sdk_version(link):
    state = link.sim.reader_state()
    state.moduleVersion[:] = [2, 7]
    link.sim.set_reader_state(state)
    assert link.reader.module_version() == "2.7"
    link.reader.set_relay(0x5A)
    assert link.sim.reader_state().relay == 0x5A
    header = (Path(SOURCE_DIR) / "include" / "TessaroVersion.h").read_text()
    defined = dict(line.split()[1:3] for line in header.splitlines()
                   if line.startswith("#define TESSARO_VERSION_") and len(line.split()) == 3)
    assert tessaro.sdk_version() == ".".join(
        defined[f"TESSARO_VERSION_{part}"] for part in ("MAJOR", "MINOR", "PATCH"))
