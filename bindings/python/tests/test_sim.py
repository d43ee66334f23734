"""tessaro.sim.Simulator beyond what the reader tests use."""
import pytest

import tessaro
from tessaro.sim import Simulator, SimulatorError


def test_refused_population_says_why():
    with Simulator() as sim:
        with pytest.raises(SimulatorError, match="line 2"):
            sim.load_population_text("gen2 epc=3034\ngen2 epc=3035 rsi=-40\n")
        assert sim.tag_count() == 0
        with pytest.raises(SimulatorError):
            sim.add_tag("gen2 epc=3034", reader=1)


def test_second_reader_on_port_2():
    with Simulator(readers=2) as sim:
        sim.add_tag("gen2 epc=11112222 antenna=1")
        sim.add_tag("gen2 epc=33334444 antenna=2", reader=1)
        sim.install()
        with tessaro.Reader() as first, tessaro.Reader(port=2) as second:
            assert [t.epc_hex for t in first.inventory()] == ["11112222"]
            assert [(t.epc_hex, t.antenna) for t in second.inventory()] == [("33334444", 2)]
        with tessaro.open() as again:       # the ports were closed and open anew
            assert len(again.inventory()) == 1


def test_virtual_clock_moves_only_when_told():
    with Simulator() as sim:
        start = sim.now_ms
        sim.advance(10_000)
        assert sim.now_ms - start == 10_000


def test_closed_simulator_refuses_calls():
    sim = Simulator()
    sim.close()
    with pytest.raises(SimulatorError):
        sim.add_reader()


def test_reader_left_open_does_not_block_the_next_simulator():
    with Simulator(population=None) as first:
        first.add_tag("gen2 epc=11112222")
        first.install()
        forgotten = tessaro.open()
    with Simulator() as second:
        second.add_tag("gen2 epc=33334444")
        second.install()
        with tessaro.open() as reader:
            assert [t.epc_hex for t in reader.inventory()] == ["33334444"]
    with pytest.raises(tessaro.CommunicationError):
        forgotten.info()
    forgotten.close()
