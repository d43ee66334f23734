"""The binding's reader methods against the simulated reader holding the sample shelf."""
import ctypes
import datetime
import subprocess
import sys
from pathlib import Path

import pytest

import tessaro
from conftest import SHELF
from tessaro import Bank, LockAction, LockTarget, Mask
from tessaro.sim import Fault, Simulator

HEADPHONES = "3036452149251180000003EA"     # User bank locked, access 5EC0DE01, kill 0BADCAFE
SOCKS = "3034F4E4E4D6DC40000003E9"          # 32 free User words
ACCESS = 0x5EC0DE01


def shelf(kind="gen2"):
    """The population's lines of one kind, as dicts of their fields."""
    lines = [line.split("#")[0].split() for line in SHELF.read_text().splitlines()]
    return [dict(f.split("=") for f in fields[1:]) for fields in lines if fields and fields[0] == kind]


def test_inventory_of_the_shelf(reader):
    expected = sorted((t["epc"], int(t["antenna"]), int(t["rssi"])) for t in shelf())
    tags = reader.inventory()
    assert sorted((t.epc_hex, t.antenna, t.rssi) for t in tags) == expected
    assert all(t.epc == bytes.fromhex(t.epc_hex) and t.tid == b"" for t in tags)


@pytest.mark.parametrize("options, selected", [
    ({"antenna": 3}, lambda t: t["antenna"] == "3"),
    ({"mask": Mask(Bank.EPC, 0x20, bytes.fromhex("30364521"))}, lambda t: t["epc"].startswith("30364521")),
    ({"mask": Mask(Bank.EPC, 0x20, bytes.fromhex("3036")), "antenna": 4}, lambda t: t["antenna"] == "4"),
])
def test_inventory_options_select_tags(reader, options, selected):
    assert sorted(t.epc_hex for t in reader.inventory(**options)) == \
        sorted(t["epc"] for t in shelf() if selected(t))


def test_inventory_with_tid(reader):
    tids = {t["epc"]: t["tid"] for t in shelf()}
    tags = reader.inventory(tid=(0, 6))
    assert len(tags) == len(tids)
    assert all(t.tid_hex == tids[t.epc_hex] for t in tags)


def test_empty_field_gives_no_tags(sim, reader):
    for tag in range(sim.tag_count()):
        sim.place_tag(tag, 0)
    assert reader.inventory() == []
    assert reader.inventory_6b() == []


@pytest.mark.parametrize("rounds, seconds, expected_rounds", [(3, None, 3), (5, 0, 0), (None, 0, 0)])
def test_watch_stops_on_its_bound(reader, rounds, seconds, expected_rounds):
    tags = list(reader.watch(rounds=rounds, seconds=seconds, antenna=1))
    assert len(tags) == 9 * expected_rounds  # antenna 1 holds nine tags


def test_watch_runs_until_the_caller_stops(reader):
    # Round after round, the shelf's tags in the order they are read: antenna
    # by antenna, in the order of the file.
    watch = reader.watch()
    order = [t["epc"] for t in sorted(shelf(), key=lambda t: int(t["antenna"]))]
    assert [next(watch).epc_hex for _ in range(50)] == (order * 3)[:50]


def test_read_write_round_trip(sim, reader):
    reader.write(Bank.USER, 2, "CAFEF00D", tag=SOCKS)
    assert reader.read(Bank.USER, 2, 2, tag=SOCKS) == bytes.fromhex("CAFEF00D")
    socks = [t["epc"] for t in shelf()].index(SOCKS)
    assert sim.tag_memory(socks, Bank.USER)[4:8] == bytes.fromhex("CAFEF00D")
    reader.erase(Bank.USER, 2, 1, tag=Mask(Bank.EPC, 0x20, bytes.fromhex(SOCKS)))
    assert reader.read(Bank.USER, 2, 2, tag=SOCKS) == bytes.fromhex("0000F00D")


def test_locked_bank_refuses_a_write(reader):
    with pytest.raises(tessaro.TagError) as refused:
        reader.write(Bank.USER, 0, "1234", tag=HEADPHONES)
    assert (refused.value.code, refused.value.tag_error) == (0xFC, 4)
    assert refused.value.text in str(refused.value)
    reader.write(Bank.USER, 0, "1234", tag=HEADPHONES, password=ACCESS)
    assert reader.read(Bank.USER, 0, 1, tag=HEADPHONES) == bytes.fromhex("1234")


def test_wrong_password_silences_the_tag(reader):
    with pytest.raises(tessaro.TagSilentError):
        reader.write(Bank.USER, 0, "1234", tag=HEADPHONES, password="00000001")


def test_lock_then_kill(sim, reader):
    reader.lock(LockTarget.EPC, LockAction.LOCKED, tag=HEADPHONES, password=ACCESS)
    with pytest.raises(tessaro.TagError) as refused:
        reader.write(Bank.EPC, 2, "3036", tag=HEADPHONES)
    assert refused.value.tag_error == 4
    headphones = [t["epc"] for t in shelf()].index(HEADPHONES)
    reader.kill("0BADCAFE", tag=HEADPHONES)
    assert sim.tag_state(headphones).killed
    assert HEADPHONES not in [t.epc_hex for t in reader.inventory()]


def test_write_epc_of_the_one_tag(sim, reader):
    for tag in range(sim.tag_count()):
        sim.place_tag(tag, 0)
    sim.place_tag([t["epc"] for t in shelf()].index(SOCKS), 3, -40)
    reader.write_epc("111122223333")
    assert [t.epc_hex for t in reader.inventory()] == ["111122223333"]


@pytest.mark.parametrize("fault, count, value, error", [
    (Fault.WRONG_ECHO, 1, 0, tessaro.ResponseError),
    (Fault.BAD_CRC, 1, 0, tessaro.CommunicationError),   # an answer that never ends intact
    (Fault.SILENT, -1, 0, tessaro.CommunicationError),
    (Fault.REFUSE_WRITES, 1, 2, tessaro.CommunicationError),
])
def test_injected_fault_raises(sim, reader, fault, count, value, error):
    sim.inject_fault(fault, count, value)
    with pytest.raises(tessaro.TessaroError) as raised:
        reader.info()
    assert type(raised.value) is error
    assert raised.value.operation == "GetReaderInformation"
    assert raised.value.text == tessaro.code_text(raised.value.code)


def test_no_reader_found():
    with Simulator(readers=0) as sim:
        sim.install()
        with pytest.raises(tessaro.ReaderNotFoundError):
            tessaro.open()


def test_6b_commands(reader):
    uids = [t["uid"] for t in shelf("6b")]
    assert sorted(u.hex().upper() for u in reader.inventory_6b()) == sorted(uids)
    uid = uids[0]
    assert reader.read_6b(uid, 0, 8).hex().upper() == uid
    reader.write_6b(uid, 30, b"\x01\x02\x03")
    assert reader.read_6b(uid, 30, 3) == b"\x01\x02\x03"
    assert not reader.is_locked_6b(uid, 30)
    reader.lock_6b(uid, 30)
    assert reader.is_locked_6b(uid, 30)
    with pytest.raises(tessaro.TagError) as refused:
        reader.write_6b(uid, 30, b"\xFF")
    assert refused.value.tag_error == 4


@pytest.mark.parametrize("setter, value, field, expected", [
    ("set_power", 20, "power_dbm", 20),
    ("set_scan_time", 500, "scan_time_ms", 500),
    ("set_antennas", [3, 1], "antennas", (1, 3)),
    ("set_beep", False, "beep", False),
    ("set_work_mode", "active", "work_mode", "active"),
    ("set_work_mode", 7, "work_mode", "mode 7"),
])
def test_settings(reader, setter, value, field, expected):
    getattr(reader, setter)(value)
    assert getattr(reader.info(), field) == expected


@pytest.mark.parametrize("code, channels, expected", [
    (1, (2, 5), (1, 2, 5)),
    ("eu", (None, None), (4, 0, 14)),
    (3, (7, None), (3, 7, 31)),
])
def test_region(reader, code, channels, expected):
    reader.set_region(code, *channels)
    region = reader.info().region
    assert (region.code, region.min_channel, region.max_channel) == expected
    assert list(region.frequencies_mhz) == tessaro.channels(code)[expected[1]:expected[2] + 1]
    assert region.name == tessaro.reader.REGION_NAMES[expected[0]][0]


def test_clock_address_and_gpio(reader):
    when = datetime.datetime(2031, 12, 24, 18, 30, 5)
    reader.set_clock(when)
    assert reader.clock() == when
    reader.set_address(0x42)
    assert reader.address == reader.info().address == 0x42
    reader.set_gpio(0x03)
    assert reader.gpio() & 0x03 == 0x03


def test_serial_number_is_the_readers(sim, reader):
    state = sim.reader_state()
    state.serialNumber[:] = [0x00, 0xC0, 0xFF, 0xEE]
    sim.set_reader_state(state)
    assert reader.serial_number() == bytes.fromhex("00C0FFEE")


@pytest.mark.parametrize("region, count, first, last", [
    (1, 20, 920.125, 924.875), (2, 50, 902.75, 927.25), (3, 32, 917.1, 923.3),
    (4, 15, 865.1, 867.9), (5, 19, 916.8, 923.4), (6, 0, None, None),
])
def test_channel_plans(region, count, first, last):
    plan = tessaro.channels(region)
    assert len(plan) == count
    if count:
        assert (plan[0], plan[-1]) == (first, last)


@pytest.mark.parametrize("call", [
    lambda r: r.read(Bank.USER, 0, 0),
    lambda r: r.read(Bank.USER, 0, 1, tag="30F"),
    lambda r: r.write(Bank.USER, 0, "123"),
    lambda r: r.inventory(antenna=5),
    lambda r: r.write_6b("E004", 0, b"1"),
    lambda r: r.set_region(9),
    lambda r: r.set_region("mars"),
    lambda r: r.set_work_mode("sleepy"),
    lambda r: r.lock(LockTarget.USER, LockAction.LOCKED, password=2 ** 32),
])
def test_bad_arguments_send_nothing(sim, reader, call):
    before = sim.counters()["dataReports"]
    with pytest.raises(ValueError):
        call(reader)
    assert sim.counters()["dataReports"] == before


def test_too_long_a_6b_write(reader):
    with pytest.raises(tessaro.FrameTooLongError):
        reader.write_6b(shelf("6b")[0]["uid"], 30, bytes(49))


def test_damaged_tag_list_raises():
    assert tessaro.decode_tags(bytes([5, 2, 0x30, 0x34, 0xC6, 1])) == [tessaro.Tag(b"04", 1, -58)]
    with pytest.raises(tessaro.TessaroError):
        tessaro.decode_tags(bytes([5, 9, 0x30, 0x34, 0xC6, 1]))


def test_module_runs_an_inventory():
    run = subprocess.run([sys.executable, "-m", "tessaro", "--sim", str(SHELF)],
                         capture_output=True, text=True, timeout=30,
                         cwd=Path(tessaro.__file__).parents[1])
    assert run.returncode == 0, run.stderr
    assert f"{len(shelf())} Gen2 tags" in run.stdout
    assert shelf()[0]["epc"] in run.stdout


def test_reader_that_does_not_answer_on_open_is_let_go(sim):
    sim.inject_fault(Fault.SILENT, -1)
    with pytest.raises(tessaro.CommunicationError):
        tessaro.open()
    # The port was closed again: the library hands it out anew.
    library, port = tessaro._native.tessaro(), ctypes.c_int(0)
    assert library.OpenUSBPort(ctypes.byref(port)) == 0
    assert library.CloseUSBPort(port.value) == 0
