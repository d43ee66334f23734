#!/bin/sh
# Uses Tessaro from outside its tree the ways the README shows, each time
# building the consumer project (consumer/) and running its inventory on the
# simulated reader.
#   check.sh install BUILD_DIR PREFIX      cmake --install into an empty PREFIX
#   check.sh package PREFIX WORK           find_package(Tessaro), CMAKE_PREFIX_PATH=PREFIX
#   check.sh pkg-config PREFIX WORK        the README's pkg-config compiler line
#   check.sh subdirectory SOURCE_DIR WORK  add_subdirectory(SOURCE_DIR)
#   check.sh readme SOURCE_DIR LIB_DIR VERSION WORK
#                                          the README's compile and run lines in the build tree
#   check.sh deb BUILD_DIR WORK            cpack's .deb files unpacked with dpkg-deb -x, used
#                                          as above; lintian's verdict when lintian is installed
set -eu
here=$(cd "$(dirname "$0")" && pwd)
consumer=$here/consumer
mode=$1
shift

fresh() { rm -rf "$1" && mkdir -p "$1"; }

# The README's lines that start with `start`, for the one application app.c.
readme_lines() {
    grep -E "^$2" "$1/README.md" || { echo "check.sh: README.md has no line starting with: $2" >&2; exit 1; }
}

# find_package(Tessaro) from a prefix.
with_package() {
    cmake -S "$consumer" -B "$2" -DTESSARO_FROM=package -DCMAKE_PREFIX_PATH="$1" >"$2.log" 2>&1 ||
        { cat "$2.log"; exit 1; }
    cmake --build "$2" >>"$2.log" 2>&1 || { cat "$2.log"; exit 1; }
    "$2/consumer"
}

# The README's pkg-config line, the .pc files found under a prefix.
with_pkg_config() {
    pcdir=$(dirname "$(find "$1" -name tessaro.pc | head -n 1)")
    libdir=$(dirname "$(find "$1" -name 'libTessaro.so.*' | head -n 1)")
    fresh "$2"
    version=$(PKG_CONFIG_PATH=$pcdir pkg-config --modversion tessaro-sim)
    readme_lines "$source" 'cc app.c \$\(pkg-config' |
        sed "s#app\.c#-DTESSARO_FOUND_VERSION='\"$version\"' $consumer/consumer.c#" > "$2/build.sh"
    (cd "$2" && PKG_CONFIG_PATH=$pcdir sh -ex build.sh)
    (cd "$2" && LD_LIBRARY_PATH=$libdir ./app)
}

case $mode in
install)
    build=$1 prefix=$2
    fresh "$prefix"
    cmake --install "$build" --prefix "$prefix" >/dev/null
    # The udev rule hands over the reader the library looks for.
    id() { sed -n "s/.*READER_$1_ID = 0x\([0-9A-Fa-f]*\).*/\1/p" "$prefix/include/tessaro/TessaroTypes.h" | tr A-F a-f; }
    match="ATTRS{idVendor}==\"$(id VENDOR)\", ATTRS{idProduct}==\"$(id PRODUCT)\", TAG+=\"uaccess\""
    grep -qF "$match" "$prefix/lib/udev/rules.d/70-tessaro.rules" ||
        { echo "check.sh: the installed udev rule lacks: $match" >&2; exit 1; }
    ;;
package)
    fresh "$2"
    with_package "$1" "$2/build"
    ;;
pkg-config)
    source=$(cd "$here/../.." && pwd)
    with_pkg_config "$1" "$2"
    ;;
subdirectory)
    source=$1 work=$2
    fresh "$work"
    # Built without optimisation or debug information: the whole library is compiled again.
    cmake -S "$consumer" -B "$work" -DTESSARO_FROM=subdirectory -DTESSARO_SOURCE_DIR="$source" \
        -DCMAKE_BUILD_TYPE= >"$work.log" 2>&1 || { cat "$work.log"; exit 1; }
    if grep -q "tests\|examples" "$work/tessaro/CMakeFiles/TargetDirectories.txt"; then
        echo "check.sh: tests or examples were configured inside another project" >&2
        exit 1
    fi
    cmake --build "$work" --target consumer -j 2 >>"$work.log" 2>&1 || { cat "$work.log"; exit 1; }
    "$work/consumer"
    ;;
readme)
    source=$1 libdir=$2 version=$3 work=$4
    fresh "$work"
    readme_lines "$source" '(cc app.c -I include|LD_LIBRARY_PATH=build/bin)' |
        sed -e "s#app\.c#-DTESSARO_FOUND_VERSION='\"$version\"' $consumer/consumer.c#" -e "s#-I include#-I $source/include#" \
            -e "s#build/bin#$libdir#g" > "$work/lines.sh"
    (cd "$work" && sh -ex lines.sh)
    ;;
deb)
    build=$1 work=$2
    fresh "$work"
    cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log"; exit 1; }
    for deb in "$work"/*.deb; do
        echo "== $(basename "$deb")"
        dpkg-deb --field "$deb" Package Depends
        dpkg-deb -x "$deb" "$work/root"
    done
    with_package "$work/root/usr" "$work/package"
    source=$(cd "$here/../.." && pwd)
    with_pkg_config "$work/root/usr" "$work/pkg-config"
    if command -v lintian >/dev/null 2>&1; then
        lintian --fail-on error --suppress-tags-from-file /dev/null "$work"/*.deb
    fi
    ;;
*)
    echo "check.sh: unknown mode $mode" >&2
    exit 2
    ;;
esac
