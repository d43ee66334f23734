"""The install listings of the documentation against a real `cmake --install`:

- README.md: what `cmake --install build --prefix /tmp/tessaro` prints (the
  block after "The last command prints what goes where:");
- docs/install.md: `find . -type f -o -type l | sort` in that prefix (the
  first block under "What `cmake --install` puts where").

The build is installed into WORK/prefix and the folder named /tmp/tessaro in
what it prints. The lines are compared in any order: cmake installs a
folder's files in the order the file system lists them, which differs from
one checkout to the next. A listing that differs fails with the difference;
--update writes the real listings into the documents instead.

    listings.py BUILD_DIR WORK_DIR [--update]
"""
import difflib
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
SHOWN_PREFIX = "/tmp/tessaro"


def build_type(build: Path) -> str:
    cache = (build / "CMakeCache.txt").read_text()
    match = re.search(r"^CMAKE_BUILD_TYPE:\w+=(.*)$", cache, re.M)
    return match.group(1) if match else ""


def real_listings(build: Path, work: Path):
    prefix = work / "prefix"
    shutil.rmtree(prefix, ignore_errors=True)
    printed = subprocess.run(["cmake", "--install", str(build), "--prefix", str(prefix)],
                             check=True, capture_output=True, text=True).stdout
    # As shown: the prefix of the documents, the default build type.
    kind = build_type(build)
    printed = printed.replace(str(prefix), SHOWN_PREFIX)
    if kind and kind != "RelWithDebInfo":
        printed = printed.replace(f'"{kind}"', '"RelWithDebInfo"')
        printed = printed.replace(f"-{kind.lower()}.cmake", "-relwithdebinfo.cmake")
    files = sorted("./" + str(path.relative_to(prefix)).replace(
        f"-{kind.lower()}.cmake", "-relwithdebinfo.cmake")
        for path in prefix.rglob("*") if path.is_file() or path.is_symlink())
    return printed.splitlines(), files


def block_after(text: str, marker: str):
    """The lines of the first ``` block after `marker`, and where they stand."""
    at = text.index(marker)
    start = text.index("```\n", at) + len("```\n")
    end = text.index("```\n", start)
    return text[start:end].splitlines(), start, end


def main() -> int:
    build, work = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve()
    update = "--update" in sys.argv[3:]
    work.mkdir(parents=True, exist_ok=True)
    printed, files = real_listings(build, work)
    # sort(1) in the C locale, as the document's command line runs it.
    files.sort(key=lambda name: name.encode())
    documents = [
        (SOURCE / "README.md", "The last command prints what goes where:", printed),
        (SOURCE / "docs" / "install.md", "## What `cmake --install` puts where", files),
    ]
    failed = False
    for path, marker, real in documents:
        text = path.read_text()
        shown, start, end = block_after(text, marker)
        if sorted(shown) == sorted(real):
            continue
        if update:
            path.write_text(text[:start] + "\n".join(real) + "\n" + text[end:])
            print(f"listings.py: updated {path.relative_to(SOURCE)}")
            continue
        failed = True
        print(f"listings.py: the listing in {path.relative_to(SOURCE)} differs from a real "
              f"cmake --install (- shown, + real); tests/install/listings.py BUILD WORK --update "
              f"writes the real one:", file=sys.stderr)
        sys.stderr.writelines(line + "\n" for line in difflib.unified_diff(
            sorted(shown), sorted(real), "shown", "real", lineterm=""))
    return 1 if failed else 0


if __name__ == "__main__":
    os.environ.pop("DESTDIR", None)
    sys.exit(main())
