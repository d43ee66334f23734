#!/bin/sh
# Records the transcripts of this folder afresh with the simulated reader, and
# the output each run printed (*.out). The cli tests replay every transcript
# and expect the same output.
#   tests/transcripts/record.sh build/cli/tessaro
set -eu
tessaro=$(realpath "$1")
cd "$(dirname "$0")"
record() {
    name=$1
    shift
    "$tessaro" --sim --virtual-clock -q --record "$name.transcript" "$@" > "$name.out" 2>/dev/null || true
}
record info info
record inventory-tid inventory --tid
record read-user read --epc 3034257BF7194E40000003E9 --bank user --count 4
record read-locked --json read --epc 3036452149251180000003E9 --bank reserved --count 4
record 6b-inventory 6b inventory
record write-user write --epc 3034F4E4E4D6DC40000003E9 --bank user --word 5 0123456789ABCDEF
