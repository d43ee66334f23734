#!/bin/sh
# Installs the Python package the two ways users do, offline, and imports it:
# `pip install` into a virtual environment (Debian's setuptools and wheel, no
# download), and `cmake --install` of the python component beside the library.
#   check-install.sh BUILD_DIR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TESSARO_LIBRARY_PATH="$build/bin"     # where the build puts the libraries
probe='import tessaro, sys; print(tessaro.__file__, tessaro.sdk_version(), tessaro.channels(1)[0])'

# pip builds in the source folder; a copy keeps the tree clean.
cp -r "$here" "$work/source"
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
"$work/venv/bin/pip" install -q --no-build-isolation --no-index "$work/source"
(cd "$work" && "$work/venv/bin/python" -c "$probe")

for component in runtime python; do
    cmake --install "$build" --prefix "$work/prefix" --component $component >/dev/null
done
package=$(find "$work/prefix" -type d -name tessaro -path '*dist-packages*')
(cd "$work" && env -u TESSARO_LIBRARY_PATH PYTHONPATH="$(dirname "$package")" /usr/bin/python3 -c "$probe")
