#!/bin/sh
# Compares the dynamic symbols that a library defines with the functions that
# the public headers declare with TESSARO_API: nothing internal may leak out,
# and nothing declared may be missing.
#   check_exports.sh LIBRARY INCLUDE_DIR [EXPORT_MACRO]
# EXPORT_MACRO is TESSARO_API (libTessaro) unless given (TESSARO_SIM_API for
# libTessaroSim). LIBRARY is a shared object or a Windows DLL; a DLL's export
# table is read with $OBJDUMP (objdump for its target), and the .def file
# beside it must list the same names.
set -eu
library=$1
include=$2
macro=${3:-TESSARO_API}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Names declared in the headers: "TESSARO_API <type> <name>(" on one line.
sed -n 's/^'"$macro"'[^(]*[ *]\([A-Za-z_][A-Za-z0-9_]*\)(.*/\1/p' "$include"/*.h | sort -u > "$work/declared"
# The exported class: its constructors and assignments.
if [ "$macro" = TESSARO_API ] && grep -q '^class TESSARO_API CTessaro' "$include/Tessaro.h"; then
    echo CTessaro >> "$work/declared"
    sort -u -o "$work/declared" "$work/declared"
fi

# The symbol names the library exports, as they stand in its symbol table.
symbols() {
    case $library in
    *.dll) "${OBJDUMP:-objdump}" -p "$library" |
               sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] //p' ;;
    *) nm -D --defined-only "$library" | awk '{print $3}' ;;
    esac
}
symbols > "$work/symbols"

# Names defined by the library, demangled to the bare function or class name.
c++filt < "$work/symbols" | sed -e 's/(.*//' -e 's/::.*//' | sort -u > "$work/exported"

status=0
if ! diff -u "$work/declared" "$work/exported" > "$work/diff"; then
    echo "Exported names differ from the public headers (- declared only, + exported only):"
    cat "$work/diff"
    status=1
fi
# Only the CTessaro members the interface names.
extra=$(grep '^_ZN8CTessaro' "$work/symbols" |
    grep -v -x -e '_ZN8CTessaroC1Ev' -e '_ZN8CTessaroC2Ev' -e '_ZN8CTessaroaSERKS_' -e '_ZN8CTessaroaSEOS_' || true)
if [ -n "$extra" ]; then
    echo "Unexpected CTessaro members exported: $extra"
    status=1
fi
case $library in
*.dll)
    def=${library%.dll}.def
    sed -n 's/^ *\([A-Za-z_][A-Za-z0-9_]*\) @.*/\1/p' "$def" | sort > "$work/def"
    if ! sort "$work/symbols" | diff -u "$work/def" - > "$work/diff"; then
        echo "$def differs from the DLL's exports (- listed only, + exported only):"
        cat "$work/diff"
        status=1
    fi ;;
esac
[ $status -eq 0 ] && echo "$(wc -l < "$work/exported") exported names match the public headers."
exit $status
