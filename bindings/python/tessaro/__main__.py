"""python3 -m tessaro: the reader's information and one inventory, as a quick check.

    python3 -m tessaro                      the first reader on the USB bus
    python3 -m tessaro --sim shelf.tags     a simulated reader with these tags

The `tessaro` command-line tool does everything else.
"""
from __future__ import annotations

import argparse
import sys
from typing import List, Optional

from . import Reader, TessaroError, sdk_version


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(prog="python3 -m tessaro",
                                     description="Reader information and one Gen2 inventory.")
    parser.add_argument("--sim", metavar="POPULATION",
                        help="use a simulated reader whose field holds this population file")
    parser.add_argument("--port", type=int, default=1, help="the reader's port (default 1)")
    options = parser.parse_args(argv)

    simulator = None
    try:
        if options.sim:
            from .sim import Simulator
            simulator = Simulator(clock="real", population=options.sim)
            simulator.install()
        with Reader(port=options.port) as reader:
            info = reader.info()
            region = info.region
            band = (f" ({region.frequencies_mhz[0]}-{region.frequencies_mhz[-1]} MHz)"
                    if region.frequencies_mhz else "")
            print(f"Tessaro SDK {sdk_version()}, reader {info.version} at address {info.address:#04x}")
            print(f"  region {region.code} {region.name}, channels {region.min_channel}-{region.max_channel}{band}, "
                  f"{info.power_dbm} dBm, antennas {', '.join(map(str, info.antennas))}")
            tags = reader.inventory()
            print(f"{len(tags)} tags")
            for tag in tags:
                print(f"  {tag.epc_hex:<26} antenna {tag.antenna}  {tag.rssi:4d} dBm")
        return 0
    except (TessaroError, ValueError, OSError) as error:
        print(f"python3 -m tessaro: {error}", file=sys.stderr)
        return 1
    finally:
        if simulator is not None:
            simulator.close()


if __name__ == "__main__":
    sys.exit(main())
