#!/bin/sh
# Installs the Python package the ways users do, offline, and runs
# `python -m tessaro --sim inventory` with no TESSARO_LIBRARY_PATH or
# LD_LIBRARY_PATH, so the package has to find the library by itself:
#   1. pip, into a virtual environment made in the prefix that
#      `cmake --install` filled (the library three folders above the package);
#   2. pip, into a virtual environment beside that prefix, TESSARO_LIBRARY_PATH
#      naming its lib folder at install time only (recorded in the package);
#   3. pip, from a source tree with a build tree (that build's bin folder,
#      recorded at install time);
#   4. `cmake --install` of the python component, found through PYTHONPATH.
# pip builds with Debian's setuptools and wheel: nothing is downloaded.
#   check-install.sh BUILD_DIR [WORK_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
if [ $# -ge 2 ]; then
    work=$2
    rm -rf "$work" && mkdir -p "$work"
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
python=/usr/bin/python3
unset TESSARO_LIBRARY_PATH LD_LIBRARY_PATH PYTHONPATH

# Runs a command quietly, showing its output only when it fails.
quiet() {
    "$@" >"$work/quiet.log" 2>&1 || { cat "$work/quiet.log"; exit 1; }
}

# pip builds in the folder it installs from: a copy of the package keeps the
# tree clean, placed as in the source tree (bindings/python) beside a sample
# shelf, and beside `build` when given.
package_copy() {
    copy=$work/$1
    mkdir -p "$copy/bindings" "$copy/sim/populations"
    cp -r "$here" "$copy/bindings/python"
    rm -rf "$copy/bindings/python/build" "$copy/bindings/python/"*.egg-info
    cp "$source/sim/populations/shelf.tags" "$copy/sim/populations/"
    [ $# -lt 2 ] || ln -s "$2" "$copy/build"
    echo "$copy/bindings/python"
}

# A virtual environment that sees the system's packages (pip, setuptools).
venv() {
    quiet "$python" -m venv --system-site-packages --without-pip "$1"
}

pip_install() {
    quiet "$1/bin/python" -m pip install --no-build-isolation --no-index "$2"
}

# The inventory of the sample shelf from python -m tessaro, started from an
# empty folder.
inventory() {
    label=$1
    shift
    out=$(cd "$work/empty" && "$@" -m tessaro --sim inventory 2>&1) ||
        { echo "check-install: $label: $out" >&2; exit 1; }
    echo "$out" | grep -q "^$gen2 Gen2 tags\$" ||
        { echo "check-install: $label printed: $out" >&2; exit 1; }
    echo "check-install: $label: $(echo "$out" | head -n 1)"
}
mkdir -p "$work/empty"
gen2=$(grep -c '^gen2 ' "$source/sim/populations/shelf.tags")   # the shelf's Gen2 tags

prefix=$work/prefix
venv "$prefix"
quiet cmake --install "$build" --prefix "$prefix" --component runtime
pip_install "$prefix" "$(package_copy plain)"
inventory "pip into a virtual environment in the install prefix" "$prefix/bin/python"

venv "$work/beside"
TESSARO_LIBRARY_PATH=$prefix/lib pip_install "$work/beside" "$(package_copy named)"
inventory "pip beside the install prefix" "$work/beside/bin/python"

venv "$work/from-tree"
pip_install "$work/from-tree" "$(package_copy tree "$build")"
inventory "pip from a source tree with a build" "$work/from-tree/bin/python"

quiet cmake --install "$build" --prefix "$work/cmake" --component runtime
quiet cmake --install "$build" --prefix "$work/cmake" --component python
inventory "cmake --install" env PYTHONPATH="$work/cmake/lib/python3/dist-packages" "$python"
