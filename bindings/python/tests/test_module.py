"""python3 -m tessaro as a person runs it: the sample shelf without a file,
a command after --sim, the versions."""
import subprocess
import sys
from pathlib import Path

import pytest

import tessaro
from test_reader import shelf

GEN2 = f"{len(shelf())} Gen2 tags"


def module(*arguments):
    return subprocess.run([sys.executable, "-m", "tessaro", *arguments], capture_output=True,
                          text=True, timeout=30, cwd=Path(tessaro.__file__).parents[1])


@pytest.mark.parametrize("arguments, says, not_says", [
    (["--sim", "inventory"], GEN2, "Tessaro SDK"),
    (["inventory", "--sim"], GEN2, "Tessaro SDK"),
    (["--sim", "info"], "Tessaro SDK", "Gen2 tags"),
    (["--sim"], "Tessaro SDK", "no such"),
])
def test_sim_without_a_file_is_the_sample_shelf(arguments, says, not_says):
    run = module(*arguments)
    assert run.returncode == 0, run.stderr
    assert says in run.stdout and not_says not in run.stdout


def test_version_names_the_package_and_the_library():
    run = module("--version")
    assert run.returncode == 0, run.stderr
    assert run.stdout.splitlines() == [
        f"python3 -m tessaro {tessaro.__version__}",
        f"libTessaro {tessaro.sdk_version()} ({tessaro._native.tessaro().path})"]
