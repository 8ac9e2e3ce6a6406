#!/usr/bin/env bash
# Builds the whole tool for Windows on this Debian machine and runs it under Wine (opt-in: not
# part of scripts/test.sh). In order:
#
#   1. Qt for Windows: Debian's own Qt source (qt6-base, and qt6-svg where the archive has it),
#      cross-built with mingw-w64 with only what the tool needs, and SQLite from Debian's source
#      package; both kept in a cache outside the checkout, keyed by version and options, so that
#      a second run builds neither;
#   2. quillmark.exe and act-standin.exe from this CMake project (COM backend), with the Qt DLLs,
#      the platform plugin, the manual and the icon files beside them;
#   3. the installer (NSIS): build/windows/quillmark-<version>-setup.exe;
#   4. under Wine, in a fresh prefix with Xvfb: the silent install, the command line and the
#      window against the fake ACT! automation server, the typical road by pointer compared byte
#      for byte with the Linux build, screenshots, and the time per automation call.
#
#     bash scripts/windows.sh [qt|build|wine|all]      (default: all)
#
# QM_WINDOWS_CACHE names the cache (default ~/.cache/quillmark-windows). Long compiles run with
# nice and ionice, two at a time (QM_WINDOWS_JOBS).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
what=${1:-all}
start_all=$(date +%s)

cache=${QM_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quillmark-windows}
jobs=${QM_WINDOWS_JOBS:-2}
out=$root/build/windows
triple=x86_64-w64-mingw32
mkdir -p "$cache" "$out"

say() { echo "== $*"; }
die() {
    echo "windows.sh: $*" >&2
    exit 1
}
slow() { nice -n 19 ionice -c3 "$@"; }
elapsed() { echo "$(($(date +%s) - $1)) s"; }

# --- Debian packages this script needs (the normal build and tests need none of them) --------
need=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix nsis tcl
    wine wine64 xvfb xauth xdotool imagemagick openbox dpkg-dev cmake ninja-build perl)
missing=()
for p in "${need[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
    say "installing ${missing[*]}"
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# --- Debian source packages, through a private apt configuration --------------------------------
# The machine's own apt sources stay as they are: the deb-src entries, the package lists and the
# downloads live in the cache.
apt_dir=$cache/apt
apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
    -o "Dir::Cache::archives=$apt_dir/archives" -o "APT::Sandbox::User=root")
private_apt() {
    if [ ! -f "$apt_dir/sources.list" ]; then
        mkdir -p "$apt_dir"/{lists/partial,archives/partial,cache,sources.list.d}
        # The same archive and suite as the machine's binary packages.
        local suite
        suite=$(. /etc/os-release && echo "${VERSION_CODENAME:?}")
        {
            echo "deb-src http://deb.debian.org/debian $suite main"
            echo "deb-src http://deb.debian.org/debian $suite-updates main"
            echo "deb-src http://deb.debian.org/debian-security $suite-security main"
        } >"$apt_dir/sources.list"
    fi
    if [ -z "$(ls "$apt_dir/lists" | grep -i sources || true)" ]; then
        apt-get "${apt_opts[@]}" -q update >/dev/null
    fi
}
src_version() { apt-cache "${apt_opts[@]}" showsrc "$1" | awk '/^Version:/ {print $2; exit}'; }
# Unpacks Debian's source package $1 (with Debian's patches) into $cache/src/$1-<version>/;
# prints that folder, or nothing when the archive does not have the package's files.
fetch_source() {
    local pkg=$1 version dir
    version=$(src_version "$pkg")
    [ -n "$version" ] || return 0
    dir=$cache/src/$pkg-$version
    if [ ! -f "$dir/.unpacked" ]; then
        mkdir -p "$cache/src/dl-$pkg"
        if ! (cd "$cache/src/dl-$pkg" && apt-get "${apt_opts[@]}" -q source --download-only "$pkg=$version" \
            >"$cache/src/dl-$pkg/apt.log" 2>&1); then
            sed -n 's/^E: /    /p' "$cache/src/dl-$pkg/apt.log" >&2
            return 0
        fi
        rm -rf "$dir"
        (cd "$cache/src/dl-$pkg" && dpkg-source -x "$pkg"_*.dsc "$dir" >/dev/null)
        touch "$dir/.unpacked"
    fi
    echo "$dir"
}

# --- 1. Qt and SQLite for Windows ---------------------------------------------------------------
# One toolchain for Qt and the tool: the POSIX-thread compiler (Qt and the stand-in use
# std::thread), the compiler's run-time as DLLs shared by Qt and the programs.
qt_toolchain_text() {
    cat <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $triple-gcc-posix)
set(CMAKE_CXX_COMPILER $triple-g++-posix)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
}
# Only Core, Gui, Widgets (and Svg) with the windows platform plugin and the Windows styles;
# everything else off, and the bundled third-party code where Debian's would be a Linux library.
qt_options=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF -DQT_BUILD_MANUAL_TESTS=OFF
    -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF -DFEATURE_dbus=OFF
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF
    -DFEATURE_xml=OFF -DFEATURE_testlib=OFF -DFEATURE_direct2d=OFF -DFEATURE_androiddeployqt=OFF
    -DFEATURE_freetype=OFF -DFEATURE_fontconfig=OFF -DFEATURE_jpeg=OFF -DFEATURE_zstd=OFF
    -DFEATURE_icu=OFF -DFEATURE_glib=OFF -DFEATURE_openssl=OFF -DINPUT_openssl=no
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_doubleconversion=OFF
)
qt_key() {
    { qt_toolchain_text; printf '%s\n' "${qt_options[@]}"; } | sha256sum | cut -c1-10
}

build_qt() {
    private_apt
    qtbase_src=$(fetch_source qt6-base)
    [ -n "$qtbase_src" ] || die "Debian's qt6-base source package could not be fetched"
    qt_version=$(src_version qt6-base)
    qt_dir=$cache/qt-${qt_version}-$(qt_key)
    qt=$qt_dir/install
    mkdir -p "$qt_dir"
    qt_toolchain_text >"$qt_dir/toolchain.cmake"
    if [ ! -f "$qt/.complete-qtbase" ]; then
        say "Qt $qt_version for Windows: building qtbase (logs in $qt_dir/)"
        local t=$(date +%s)
        slow cmake -S "$qtbase_src" -B "$qt_dir/build-qtbase" -G Ninja \
            --toolchain "$qt_dir/toolchain.cmake" -DQT_HOST_PATH=/usr \
            -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
            -DCMAKE_INSTALL_PREFIX="$qt" "${qt_options[@]}" >"$qt_dir/qtbase-configure.log" 2>&1 ||
            die "qtbase's configure failed: $qt_dir/qtbase-configure.log"
        slow cmake --build "$qt_dir/build-qtbase" -j "$jobs" >"$qt_dir/qtbase-build.log" 2>&1 ||
            die "qtbase's build failed: tail $qt_dir/qtbase-build.log"
        cmake --install "$qt_dir/build-qtbase" >"$qt_dir/qtbase-install.log" 2>&1 ||
            die "qtbase's install failed: $qt_dir/qtbase-install.log"
        touch "$qt/.complete-qtbase"
        rm -rf "$qt_dir/build-qtbase"
        say "qtbase built in $(elapsed "$t")"
    fi
}

# SQLite for Windows, as a static library: Debian's source, its amalgamation made here (with
# tclsh), compiled with mingw-w64.
sqlite_options=(-O2 -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION -DSQLITE_DQS=0)
build_sqlite() {
    private_apt
    local src version
    src=$(fetch_source sqlite3)
    [ -n "$src" ] || die "Debian's sqlite3 source package could not be fetched"
    version=$(src_version sqlite3)
    sqlite=$cache/sqlite-$version-$(printf '%s\n' "${sqlite_options[@]}" | sha256sum | cut -c1-10)
    if [ ! -f "$sqlite/.complete" ]; then
        say "SQLite $version for Windows"
        local b=$sqlite/build
        rm -rf "$sqlite"
        mkdir -p "$b" "$sqlite/include" "$sqlite/lib"
        (cd "$b" && slow "$src/configure" --disable-tcl >"$sqlite/configure.log" 2>&1 &&
            slow make sqlite3.c >"$sqlite/amalgamation.log" 2>&1) ||
            die "SQLite's amalgamation failed: $sqlite/*.log"
        slow $triple-gcc-posix "${sqlite_options[@]}" -c "$b/sqlite3.c" -o "$b/sqlite3.o"
        $triple-ar rcs "$sqlite/lib/libsqlite3.a" "$b/sqlite3.o"
        cp "$b/sqlite3.h" "$sqlite/include/"
        rm -rf "$b"
        touch "$sqlite/.complete"
    fi
}

case "$what" in
qt)
    build_qt
    build_sqlite
    ;;
all | build | wine) build_qt ;;
*) die "usage: windows.sh [qt|build|wine|all]" ;;
esac
