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
# fonts-wine: Wine's own faces (MS Sans Serif, Tahoma) for the windows under Wine; without them
# Wine drew the lists' capital I as nothing ("nitialize") and the message boxes in a serif face.
need=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix nsis tcl
    wine wine64 fonts-wine xvfb xauth xdotool imagemagick openbox dpkg-dev cmake ninja-build perl)
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
        (cd "$cache/src/dl-$pkg" && dpkg-source -x "$pkg"_*.dsc "$dir" >dpkg-source.log 2>&1) ||
            die "dpkg-source could not unpack $pkg: $cache/src/dl-$pkg/dpkg-source.log"
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

# Two adjustments of the windows platform plugin's own sources, so that Qt's features and headers
# stay as configured (and the build's cache valid):
# - Debian's qt6-base source leaves out Wacom's Wintab header (src/3rdparty/wintab: its licence
#   forbids changes), which the plugin includes for tablets: the plugin is built without Wintab
#   tablets (pens still arrive through Windows' pointer messages, as the mouse);
# - with Direct2D off, QtGui leaves out its DirectWrite font database, which the plugin still
#   names when DirectWrite 3 is on: the plugin then uses the GDI font database, as it does
#   wherever DirectWrite is not asked for.
qt_plugin_adjustments() {
    local dir=$1/src/plugins/platforms/windows
    [ ! -f "$dir/.quillmark-adjusted" ] || return 0
    if [ ! -f "$1/src/3rdparty/wintab/wintab.h" ]; then
        sed -i 's/QT_CONFIG(tabletevent)/QT_CONFIG(tabletevent) \&\& defined(QM_WINTAB)/' \
            "$dir"/qwindowscontext.cpp "$dir"/qwindowspointerhandler.cpp "$dir"/qwindowspointerhandler.h
        sed -i 's/CONDITION QT_FEATURE_tabletevent$/CONDITION QT_FEATURE_tabletevent AND EXISTS "${QtBase_SOURCE_DIR}\/src\/3rdparty\/wintab\/wintab.h"/' \
            "$dir"/CMakeLists.txt
        grep -q 'wintab/wintab.h"$' "$dir"/CMakeLists.txt || die "the windows plugin's CMakeLists.txt has changed: no Wintab adjustment"
    fi
    sed -i 's/QT_CONFIG(directwrite3)$/QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' "$dir"/qwindowsintegration.cpp
    touch "$dir/.quillmark-adjusted"
}

build_qt() {
    private_apt
    qtbase_src=$(fetch_source qt6-base)
    [ -n "$qtbase_src" ] || die "Debian's qt6-base source package could not be fetched"
    qt_plugin_adjustments "$qtbase_src"
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
    # Qt Svg, where the archive has its source; without it the icons are drawn by the Linux
    # build's mkicon (see build_tool).
    if [ ! -f "$qt/.complete-qtsvg" ] && [ ! -f "$qt_dir/.no-qtsvg" ]; then
        local svg_src
        svg_src=$(fetch_source qt6-svg)
        if [ -z "$svg_src" ]; then
            say "qt6-svg's source is not to be had from the archive: Qt for Windows without Qt Svg"
            touch "$qt_dir/.no-qtsvg"
        else
            say "Qt $qt_version for Windows: building qtsvg"
            slow cmake -S "$svg_src" -B "$qt_dir/build-qtsvg" -G Ninja \
                --toolchain "$qt/lib/cmake/Qt6/qt.toolchain.cmake" -DQT_HOST_PATH=/usr \
                -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DCMAKE_BUILD_TYPE=Release \
                -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF >"$qt_dir/qtsvg-configure.log" 2>&1 ||
                die "qtsvg's configure failed: $qt_dir/qtsvg-configure.log"
            slow cmake --build "$qt_dir/build-qtsvg" -j "$jobs" >"$qt_dir/qtsvg-build.log" 2>&1 ||
                die "qtsvg's build failed: tail $qt_dir/qtsvg-build.log"
            cmake --install "$qt_dir/build-qtsvg" >/dev/null
            touch "$qt/.complete-qtsvg"
            rm -rf "$qt_dir/build-qtsvg"
        fi
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


# --- 2. The programs, and the program folder -----------------------------------------------------
version=$(sed -n 's/^project(Quillmark VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
setup=$out/quillmark-$version-setup.exe
stage=$out/stage/Quillmark
export CCACHE_BASEDIR=$root

build_tool() {
    local t=$(date +%s)
    # The Linux build: its mkicon draws the Windows build's icons (no Qt Svg there), and its tool
    # is what the Windows tool is compared with.
    say "the Linux build (build/windows/linux)"
    cmake -S . -B "$out/linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DQM_BENCH=OFF \
        -DQM_MANUAL=OFF -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
    slow cmake --build "$out/linux" -j "$jobs" --target quillmark act-standin mkicon >"$out/linux.log" 2>&1 ||
        die "the Linux build failed: $out/linux.log"

    # The fake ACT! automation server and its control, with the run-time linked in.
    say "the fake ACT! automation server (build/windows/com)"
    cmake -S . -B "$out/com" -G Ninja --toolchain cmake/mingw-w64-x86_64.cmake -DQM_WITH_QT=OFF \
        -DCMAKE_BUILD_TYPE=Release -DQM_WERROR=ON -DCMAKE_CXX_COMPILER=$triple-g++-posix \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
    slow cmake --build "$out/com" -j "$jobs" --target fakeact-server fakeact-control >"$out/com.log" 2>&1 ||
        die "the fake server's build failed: $out/com.log"

    say "quillmark.exe and act-standin.exe (build/windows/build)"
    local svg=()
    [ -d "$qt/lib/cmake/Qt6Svg" ] || svg=(-DQM_HOST_MKICON="$out/linux/tools/mkicon")
    cmake -S . -B "$out/build" -G Ninja --toolchain cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=Release -DQM_WERROR=ON -DBUILD_TESTING=OFF -DQM_BENCH=OFF \
        -DCMAKE_CXX_COMPILER=$triple-g++-posix -DQM_MINGW_SHARED_RUNTIME=ON \
        -DCMAKE_PREFIX_PATH="$qt;$sqlite" -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake "${svg[@]}" \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >"$out/build-configure.log" 2>&1 ||
        die "the Windows build's configure failed: $out/build-configure.log"
    slow cmake --build "$out/build" -j "$jobs" >"$out/build.log" 2>&1 ||
        die "the Windows build failed: tail $out/build.log"
    rm -rf "$out/stage"
    cmake --install "$out/build" --prefix "$stage" --strip >/dev/null
    say "the programs built in $(elapsed "$t"); the program folder:"
    (cd "$stage" && find . -type f | sort | sed 's|^\./|    |')
}

# --- 3. The installer ---------------------------------------------------------------------------
build_installer() {
    # The uninstaller removes what was installed, file by file, and nothing else.
    (
        cd "$stage"
        find . -type f | sort | sed 's|^\./||; s|/|\\|g; s|.*|    Delete "$INSTDIR\\&"|'
        find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|.*|    RMDir "$INSTDIR\\&"|'
    ) >"$out/stage/uninstall-files.nsh"
    makensis -V2 -DSTAGE="$stage" -DOUTFILE="$setup" "$out/build/quillmark.nsi" >"$out/makensis.log" 2>&1 ||
        die "makensis failed: $out/makensis.log"
    say "the installer: $setup ($(du -k "$setup" | cut -f1) KiB)"
}

# --- 4. Under Wine --------------------------------------------------------------------------------
run_wine() {
    local tmp=$out/run
    rm -rf "$tmp"
    mkdir -p "$tmp"
    export QM_W_TMP=$tmp QM_W_SETUP=$setup QM_W_OUT=$out QM_W_ROOT=$root
    xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" bash "$root/scripts/windows-wine.sh"
}

case "$what" in
qt)
    build_qt
    build_sqlite
    ;;
build | all | wine)
    build_qt
    build_sqlite
    [ "$what" = wine ] || build_tool
    [ "$what" = wine ] || build_installer
    [ "$what" = build ] || run_wine
    say "windows.sh $what: done in $(elapsed "$start_all")"
    ;;
*) die "usage: windows.sh [qt|build|wine|all]" ;;
esac
