"""python3 -m tessaro: the reader's information and one inventory, as a quick check.

    python3 -m tessaro                       both, from the first reader on the USB bus
    python3 -m tessaro --sim inventory       one inventory of the simulated sample shelf
    python3 -m tessaro --sim shelf.tags info a simulated reader with these tags
    python3 -m tessaro --version             the package's and the library's versions

The `tessaro` command-line tool does everything else.
"""
from __future__ import annotations

import argparse
import sys
from typing import List, Optional

from . import Reader, TessaroError, __version__, _native, sdk_version

COMMANDS = ("info", "inventory")
PROGRAM = "python3 -m tessaro"


def _version() -> int:
    print(f"{PROGRAM} {__version__}")
    try:
        library = _native.tessaro()
    except OSError as error:
        print(f"{PROGRAM}: {error}", file=sys.stderr)
        return 1
    print(f"libTessaro {sdk_version()} ({library.path})")
    return 0


def _info(reader: Reader) -> None:
    info = reader.info()
    region = info.region
    band = (f" ({region.frequencies_mhz[0]}-{region.frequencies_mhz[-1]} MHz)"
            if region.frequencies_mhz else "")
    print(f"Tessaro SDK {sdk_version()}, reader {info.version} at address {info.address:#04x}")
    print(f"  region {region.code} {region.name}, channels {region.min_channel}-{region.max_channel}"
          f"{band}, {info.power_dbm} dBm, antennas {', '.join(map(str, info.antennas))}")


def _inventory(reader: Reader) -> None:
    tags = reader.inventory()
    print(f"{len(tags)} Gen2 tags")
    for tag in tags:
        print(f"  {tag.epc_hex:<26} antenna {tag.antenna}  {tag.rssi:4d} dBm")


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(
        prog=PROGRAM, description="The reader's information and one Gen2 inventory "
                                  "(both without a command).")
    parser.add_argument("command", nargs="?", choices=COMMANDS, help="only this")
    parser.add_argument("--sim", nargs="?", const="", metavar="FILE",
                        help="a simulated reader (real clock) holding the tags of a population "
                             "FILE, or the sample shelf without FILE")
    parser.add_argument("--port", type=int, default=1, help="the reader's port (default 1)")
    parser.add_argument("--version", action="store_true",
                        help="print the package's and the library's versions and exit")
    options = parser.parse_args(argv)
    # "--sim inventory": argparse gives the command to --sim as its FILE.
    if options.command is None and options.sim in COMMANDS:
        options.command, options.sim = options.sim, ""
    if options.version:
        return _version()

    simulator = None
    try:
        if options.sim is not None:
            from .sim import Simulator, sample_shelf
            population = options.sim or sample_shelf()
            simulator = Simulator(clock="real", population=population)
            simulator.install()
        with Reader(port=options.port) as reader:
            if options.command in (None, "info"):
                _info(reader)
            if options.command in (None, "inventory"):
                _inventory(reader)
        return 0
    except (TessaroError, ValueError, OSError) as error:
        print(f"{PROGRAM}: {error}", file=sys.stderr)
        return 1
    finally:
        if simulator is not None:
            simulator.close()


if __name__ == "__main__":
    sys.exit(main())
