#!/bin/sh
# Interop: llrpjs (an LLRP client from the npm registry) runs an inventory
# against `tessaro --sim llrp` on 127.0.0.1 and must report every Gen2 EPC of
# the sample shelf.
#
#   run.sh TESSARO SOURCE_DIR NODE_DIR
set -eu
tessaro=$1
source=$2
node_dir=$3
"$source/scripts/install-llrpjs" "$node_dir" || exit $?

expected=$(mktemp)
got=$(mktemp)
out=$(mktemp)
journal=$(mktemp -d)
server=""
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$expected" "$got" "$out" "$journal"' EXIT
sed -n 's/^gen2 .*epc=\([0-9A-Fa-f]*\).*/\1/p' "$source/sim/populations/shelf.tags" | tr a-f A-F | sort -u >"$expected"

"$tessaro" --sim --quiet llrp --port 0 --bind 127.0.0.1 --seconds 60 --journal "$journal" >"$out" &
server=$!
port=""
for _ in $(seq 1 100); do
    port=$(sed -n 's/.*:\([0-9][0-9]*\) .*/\1/p' "$out" | head -n 1)
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "tessaro llrp did not start" >&2; exit 1; }

NODE_PATH="$node_dir/node_modules" node "$source/tests/llrp/interop/llrpjs_inventory.js" "$port" \
    "$(wc -l <"$expected")" | sort -u >"$got"
if ! cmp -s "$expected" "$got"; then
    echo "llrpjs reported other EPCs than the shelf holds:" >&2
    diff "$expected" "$got" >&2
    exit 1
fi
echo "llrpjs read all $(wc -l <"$got") EPCs of the shelf"
