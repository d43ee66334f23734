"""Fixtures: the package from this tree, a simulated reader on the virtual clock.

TESSARO_LIBRARY_PATH names the built libraries (CTest sets it);
TESSARO_SOURCE_DIR the source tree with the sample populations.
"""
import os
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

import tessaro  # noqa: E402
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
