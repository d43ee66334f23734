#!/bin/sh
# Compiles the C# declarations of a document (its ```csharp blocks that
# declare DllImports) with Program.cs, and runs the program on Mono against
# the libraries of a build:
#   run_csharp.sh DOCUMENT LIBRARY_DIR POPULATION VERSION
# Mono maps the DLL names to the shared objects through the program's config.
set -eu
document=$1
libraries=$2
population=$3
version=$4
here=$(dirname "$0")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

awk '/^```csharp$/ { block = ""; inside = 1; next }
     /^```$/ && inside { if (block ~ /DllImport/) printf "%s", block; inside = 0; next }
     inside { block = block $0 "\n" }' "$document" > "$work/Declarations.cs"
grep -q DllImport "$work/Declarations.cs" || { echo "no C# declarations in $document"; exit 1; }

mcs -nologo -warnaserror -out:"$work/csharp_test.exe" "$work/Declarations.cs" "$here/Program.cs"
cat > "$work/csharp_test.exe.config" <<CONFIG
<configuration>
  <dllmap dll="Tessaro.dll" target="$libraries/libTessaro.so"/>
  <dllmap dll="TessaroSim.dll" target="$libraries/libTessaroSim.so"/>
</configuration>
CONFIG
mono "$work/csharp_test.exe" "$population" "$version"
