"""Every failure becomes the exception a caller expects: each kind provoked
on the simulated reader, and the whole table of codes."""
import pytest

import tessaro
import tessaro.sim
from tessaro import Bank
from test_reader import shelf
from tessaro.errors import error_for
from tessaro.sim import Fault

# The codes of TessaroTypes.h and the reader's statuses, as numbers.
ERR_COMM, ERR_CRC, ERR_PORT_CLOSED, ERR_RESPONSE_CMD, ERR_PARAMETER = 48, 49, 55, 238, 255


def test_a_damaged_inventory_answer_raises_crc_error(sim, reader):
    sim.inject_fault(Fault.BAD_CRC, 1)
    with pytest.raises(tessaro.CrcError) as raised:
        reader.inventory()
    assert (raised.value.code, raised.value.operation) == (ERR_CRC, "Inventory_G2")
    assert isinstance(raised.value, tessaro.CommunicationError)   # caught as a communication failure
    assert len(reader.inventory()) == len(shelf())               # and the next round is whole


def test_a_closed_port_raises_port_closed_error(reader):
    assert tessaro._native.tessaro().CloseUSBPort(reader.port) == 0
    with pytest.raises(tessaro.PortClosedError) as raised:
        reader.info()
    assert raised.value.code == ERR_PORT_CLOSED
    assert not isinstance(raised.value, tessaro.CommunicationError)


def test_no_tag_raises_no_tag_error(reader):
    with pytest.raises(tessaro.NoTagError) as raised:
        reader.read(Bank.TID, 0, 2, tag="0000")
    assert (raised.value.code, raised.value.operation) == (0xFB, "ReadData_G2")


def test_a_value_the_reader_refuses_raises_parameter_error(sim, reader):
    with pytest.raises(tessaro.ParameterError) as raised:
        reader.set_power(31)
    assert (raised.value.code, raised.value.operation) == (ERR_PARAMETER, "SetRfPower")
    assert isinstance(raised.value, ValueError)
    assert sim.reader_state().rfPower == 30


@pytest.mark.parametrize("code, kind", [
    (ERR_COMM, tessaro.CommunicationError),
    (ERR_CRC, tessaro.CrcError),
    (ERR_PORT_CLOSED, tessaro.PortClosedError),
    (ERR_RESPONSE_CMD, tessaro.ResponseError),
    (ERR_PARAMETER, tessaro.ParameterError),
    (597, tessaro.FrameTooLongError),
    (0xFA, tessaro.TagSilentError),
    (0xFB, tessaro.NoTagError),
    (0xFC, tessaro.TagError),
    (0x05, tessaro.TessaroError),
    (0xFE, tessaro.TessaroError),
])
def test_each_code_has_its_exception(code, kind):
    error = error_for(code, "SomeCommand", tag_error=4)
    assert type(error) is kind
    assert (error.code, error.operation) == (code, "SomeCommand")
    assert tessaro.code_text(code) in error.text
    assert "SomeCommand" in str(error) and str(code) in str(error)


def test_the_exceptions_a_caller_catches_together():
    assert issubclass(tessaro.CrcError, tessaro.CommunicationError)
    assert issubclass(tessaro.ResponseError, tessaro.CommunicationError)
    assert issubclass(tessaro.ReaderNotFoundError, tessaro.CommunicationError)
    assert issubclass(tessaro.FrameTooLongError, tessaro.ParameterError)
    assert issubclass(tessaro.ParameterError, ValueError)
    assert error_for(0xFC, "ReadData_G2", 3).tag_error == 3
    assert "memory overrun" in error_for(0xFC, "ReadData_G2", 3).text


def test_a_scan_that_runs_out_of_time_is_no_error():
    # 20 ms, then 4 ms a tag: 300 ms read about 70 of 100 tags, and the
    # reader says the scan time ran out (status 2).
    with tessaro.sim.Simulator() as sim:
        for number in range(100):
            sim.add_tag(f"gen2 epc=30000000000000000000{number:04X}")
        sim.install()
        with tessaro.open() as reader:
            tags = reader.inventory(scan_time_ms=300)
    assert 0 < len(tags) < 100
    assert [t.epc_hex for t in tags] == [f"30000000000000000000{n:04X}" for n in range(len(tags))]
