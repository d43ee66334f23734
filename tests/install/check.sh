#!/bin/sh
# Uses Tessaro from outside its tree the ways the README shows, each time
# building a program against it and running an inventory on the simulated
# reader (the consumer project in consumer/, or the demo).
#   check.sh install BUILD_DIR PREFIX   cmake --install into an empty PREFIX
#   check.sh package PREFIX WORK        find_package(Tessaro), CMAKE_PREFIX_PATH=PREFIX
#   check.sh pkg-config PREFIX WORK     pkg_check_modules(tessaro-sim), and the README's
#                                       pkg-config compiler line
#   check.sh subdirectory WORK          add_subdirectory(<this source tree>)
#   check.sh readme LIB_DIR WORK        the README's compile and run lines in the build tree
#   check.sh deb BUILD_DIR WORK         CPack's .deb files unpacked with dpkg-deb -x and used
#                                       as above, python3 -m tessaro too; the dependencies
#                                       that docs/install.md lists; lintian's verdict when
#                                       lintian is installed
set -eu
here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/../.." && pwd)
consumer=$here/consumer
mode=$1
shift

fresh() { rm -rf "$1" && mkdir -p "$1"; }

# Runs a command quietly, showing its output only when it fails.
quiet() {
    log=$1
    shift
    "$@" >"$log" 2>&1 || { cat "$log"; exit 1; }
}

# The README's lines that match `pattern`.
readme_lines() {
    grep -E "^$1" "$source/README.md" ||
        { echo "check.sh: README.md has no line matching: $1" >&2; exit 1; }
}

# The consumer project, Tessaro taken `from` a prefix.
consumer_project() {
    quiet "$3.log" cmake -S "$consumer" -B "$3" -DTESSARO_FROM="$1" -DCMAKE_PREFIX_PATH="$2"
    quiet "$3.log" cmake --build "$3"
    "$3/consumer"
}

with_package() {
    consumer_project package "$1" "$2"
}

# pkg-config, the .pc files found under a prefix: the consumer project, then
# the README's compiler line with the consumer standing for app.c.
with_pkg_config() {
    pcdir=$(dirname "$(find "$1" -name tessaro.pc | head -n 1)")
    libdir=$(dirname "$(find "$1" -name 'libTessaro.so.*' | head -n 1)")
    version=$(PKG_CONFIG_PATH=$pcdir pkg-config --modversion tessaro-sim)
    fresh "$2"
    (export PKG_CONFIG_PATH="$pcdir" && consumer_project pkg-config "" "$2/project")
    readme_lines 'cc app.c \$\(pkg-config' |
        sed "s#app\.c#-DTESSARO_FOUND_VERSION='\"$version\"' $consumer/consumer.c#" > "$2/build.sh"
    (cd "$2" && PKG_CONFIG_PATH=$pcdir sh -ex build.sh)
    (cd "$2" && LD_LIBRARY_PATH=$libdir ./app)
    # An application without the simulator needs tessaro.pc alone.
    printf '%s\n' '#include <Tessaro.h>' \
        'int main(void) { unsigned char v[3] = {0, 0, 0}; GetSDKVersion(v);' \
        '    return v[0] == TESSARO_VERSION_MAJOR && v[1] == TESSARO_VERSION_MINOR ? 0 : 1; }' \
        > "$2/plain.c"
    (cd "$2" && cc plain.c $(PKG_CONFIG_PATH=$pcdir pkg-config --cflags --libs tessaro) -o plain &&
        LD_LIBRARY_PATH=$libdir ./plain) || fail "a program built with pkg-config tessaro alone fails"
}

fail() {
    echo "check.sh: $*" >&2
    exit 1
}

# The .deb file of package $2 in folder $1.
deb_of() {
    for deb in "$1"/*.deb; do
        [ "$(dpkg-deb --field "$deb" Package)" = "$2" ] && { echo "$deb"; return; }
    done
    fail "no package $2 among: $(ls "$1")"
}

# Whether the Depends field of $1 names $2: a package ("libmosquitto1", any
# version), or a package with the version relation dpkg writes ("tessaro (= 1.2.0)").
depends_on() {
    dpkg-deb --field "$1" Depends | tr ',' '\n' | sed 's/^ *//; s/ *$//' | {
        while IFS= read -r entry; do
            case $entry in "$2" | "$2 ("*) exit 0 ;; esac
        done
        exit 1
    }
}

# Whether package $1 holds a file whose path matches the pattern $2.
holds() {
    dpkg-deb --contents "$1" | sed 's/ -> .*//' | awk '{print $NF}' | grep -q -- "$2"
}

# The packages' relations and contents: tessaro-dev goes with the tessaro of
# its own version; tessaro brings in the hidapi and mosquitto runtimes; each
# file sits in the package that needs it.
check_packages() {
    runtime=$(deb_of "$1" tessaro)
    dev=$(deb_of "$1" tessaro-dev)
    version=$(dpkg-deb --field "$runtime" Version)
    [ "$(dpkg-deb --field "$dev" Version)" = "$version" ] ||
        fail "tessaro-dev $(dpkg-deb --field "$dev" Version) beside tessaro $version"
    depends_on "$dev" "tessaro (= $version)" ||
        fail "tessaro-dev does not depend on tessaro (= $version): $(dpkg-deb --field "$dev" Depends)"
    for library in libhidapi-hidraw0 libmosquitto1; do
        depends_on "$runtime" "$library" ||
            fail "tessaro does not depend on $library: $(dpkg-deb --field "$runtime" Depends)"
    done
    for file in '/usr/lib/.*libTessaro\.so\.[0-9]*$' '/usr/lib/.*libTessaroSim\.so\.[0-9]*$' \
                '/usr/bin/tessaro$' '/lib/udev/rules.d/70-tessaro\.rules$' \
                '/usr/share/tessaro/populations/shelf\.tags$'; do
        holds "$runtime" "$file" || fail "tessaro lacks $file"
        ! holds "$dev" "$file" || fail "tessaro-dev holds $file as well"
    done
    for file in '/usr/include/tessaro/Tessaro\.h$' '/usr/lib/.*libTessaro\.so$' \
                '/usr/lib/.*pkgconfig/tessaro\.pc$' '/usr/lib/.*cmake/Tessaro/TessaroConfig\.cmake$'; do
        holds "$dev" "$file" || fail "tessaro-dev lacks $file"
        ! holds "$runtime" "$file" || fail "tessaro holds $file as well"
    done
}

case $mode in
install)
    build=$1 prefix=$2
    fresh "$prefix"
    quiet "$prefix.log" cmake --install "$build" --prefix "$prefix"
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
    with_pkg_config "$1" "$2"
    ;;
subdirectory)
    work=$1
    fresh "$work"
    # Without optimisation or debug information: the whole library is compiled again.
    quiet "$work.log" cmake -S "$consumer" -B "$work" -DTESSARO_FROM=subdirectory \
        -DTESSARO_SOURCE_DIR="$source" -DCMAKE_BUILD_TYPE=
    if grep -q "^$work/tessaro/\(tests\|examples\|cli\)/" "$work/CMakeFiles/TargetDirectories.txt"; then
        echo "check.sh: Tessaro's tests, examples or tool were configured inside another project" >&2
        exit 1
    fi
    quiet "$work.log" cmake --build "$work" --target consumer -j 2
    "$work/consumer"
    ;;
readme)
    libdir=$1 work=$2
    fresh "$work"
    readme_lines '(cc examples/demo.c -I include|LD_LIBRARY_PATH=build/bin)' |
        sed -e "s#build/bin#$libdir#g" -e "s#examples/#$source/examples/#" \
            -e "s#-I include#-I $source/include#" -e "s#sim/populations/#$source/sim/populations/#" \
            > "$work/lines.sh"
    (cd "$work" && sh -ex lines.sh)
    ;;
deb)
    build=$1 work=$2
    fresh "$work"
    quiet "$work/cpack.log" cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake"
    for deb in "$work"/*.deb; do
        dpkg-deb -x "$deb" "$work/root"
        # docs/install.md's table of the packages names every package each
        # depends on.
        package=$(dpkg-deb --field "$deb" Package)
        row=$(grep "^| \`$package\` |" "$source/docs/install.md") ||
            { echo "check.sh: docs/install.md has no row for the package $package" >&2; exit 1; }
        for dependency in $(dpkg-deb --field "$deb" Depends | tr ',|' '\n\n' | sed 's/(.*)//'); do
            echo "$row" | grep -q "$dependency" || {
                echo "check.sh: $package depends on $dependency, which docs/install.md does not list" >&2
                exit 1
            }
        done
    done
    check_packages "$work"
    with_package "$work/root/usr" "$work/package"
    with_pkg_config "$work/root/usr" "$work/pkg-config"
    # python3-tessaro: the package where Debian's Python looks, finding the
    # library of the tessaro package by itself.
    (cd "$work" && env -u TESSARO_LIBRARY_PATH -u LD_LIBRARY_PATH \
        PYTHONPATH="$work/root/usr/lib/python3/dist-packages" \
        /usr/bin/python3 -m tessaro --sim inventory) |
        grep -q "^$(grep -c '^gen2 ' "$source/sim/populations/shelf.tags") Gen2 tags\$" ||
        { echo "check.sh: python3-tessaro does not run python3 -m tessaro" >&2; exit 1; }
    if command -v lintian >/dev/null 2>&1; then
        lintian --fail-on error "$work"/*.deb
    fi
    ;;
*)
    echo "check.sh: unknown mode $mode" >&2
    exit 2
    ;;
esac
