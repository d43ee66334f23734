#!/bin/sh
# Unpacks a Windows zip and uses it as a user would:
#   check_zip.sh ZIP C_COMPILER CMAKE EMULATOR...
# tessaro.exe --sim info from its bin folder, and its demo (examples\demo.c)
# built against its own include\ and lib\ alone, run on the simulated reader.
set -eu
zip=$1
cc=$2
cmake=$3
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$zip: $*"; exit 1; }

(cd "$work" && "$cmake" -E tar xf "$zip") || fail "cannot be unpacked"
package="$work/$(basename "$zip" .zip)"
for file in README.txt bin/Tessaro.dll bin/TessaroSim.dll bin/tessaro.exe lib/Tessaro.lib \
            lib/Tessaro.def lib/TessaroSim.lib lib/TessaroSim.def include/Tessaro.h \
            include/TessaroSim.h populations/shelf.tags examples/demo.c docs/windows.md; do
    [ -f "$package/$file" ] || fail "$file is missing"
done

cd "$package/bin"
info=$("$@" tessaro.exe --sim info 2>&1) || fail "tessaro.exe --sim info failed: $info"
echo "$info" | grep -q "^Firmware version *3.2" || fail "tessaro.exe --sim info said: $info"

"$cc" -I ../include ../examples/demo.c ../lib/Tessaro.lib ../lib/TessaroSim.lib -o demo.exe ||
    fail "its demo does not build against its own headers and libraries"
demo=$("$@" demo.exe --sim ../populations/shelf.tags 2>&1) || fail "demo.exe failed: $demo"
echo "$demo" | grep -q "3034257BF7194E40000003E9" || fail "demo.exe did not list the shelf: $demo"
echo "$(basename "$zip"): tessaro.exe and its demo run from the unpacked zip."
