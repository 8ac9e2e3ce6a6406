#!/usr/bin/env bash
# Builds the Debian package of Quillmark with CPack from the same CMake project, and checks it:
#
#   1. the package: build/package/quillmark_<version>-1_<arch>.deb, built with Debian's hardening
#      flags (dpkg-buildflags), stripped, dependencies found by dpkg-shlibdeps;
#   2. lintian, appstreamcli validate and desktop-file-validate on what it holds;
#   3. a clean root: the package unpacked with dpkg -x, every path the tool relies on checked,
#      and the unpacked tool run there on the command line against the ACT! stand-in;
#   4. the package installed on this machine with dpkg -i (its dependencies from apt), the
#      installed tool started as an ordinary login under Xvfb on the stand-in's demo database,
#      a right saved without root, a screenshot (docs/screenshots/installed.png), and the package
#      and the login removed again (keep them with --keep).
#
#     bash scripts/package.sh [--keep]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
keep=${1:-}

bash scripts/deps.sh
need=(lintian desktop-file-utils appstream fakeroot dpkg-dev file x11-utils)
missing=()
for p in "${need[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
if [ "${#missing[@]}" -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# 1. The package.
build=build/package
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DQM_BENCH=OFF \
    -DQM_SETTINGS_PER_USER=ON \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build"
rm -f "$build"/quillmark_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/quillmark_*.deb)
echo "== $deb"
dpkg-deb --info "$deb" | sed -n '/Architecture:/,$p'
echo "== files"
dpkg-deb --contents "$deb" | awk '{print $1, $6, $7, $8}'

# 2. What the package holds, as Debian's tools see it.
echo "== lintian"
lintian --info --display-info "$deb" || true
tmp=$(mktemp -d)
chmod 755 "$tmp" # the ordinary login below runs a script from here
trap 'rm -rf "$tmp"' EXIT
dpkg -x "$deb" "$tmp/root"
echo "== appstreamcli validate (no network: the screenshot addresses are not fetched)"
appstreamcli validate --no-net --pedantic "$tmp/root/usr/share/metainfo/app.quillmark.Quillmark.metainfo.xml"
echo "== desktop-file-validate"
desktop-file-validate "$tmp/root/usr/share/applications/app.quillmark.Quillmark.desktop" && echo "no complaints"

# 3. The clean root: every path the tool relies on.
echo "== paths in the unpacked root"
r="$tmp/root"
for f in usr/lib/quillmark/quillmark usr/lib/quillmark/act-standin; do
    [ -x "$r/$f" ] || { echo "missing executable $f"; exit 1; }
done
for f in usr/lib/quillmark/QLM_User_Manual.pdf usr/lib/quillmark/quillmark.ico usr/lib/quillmark/quillmark32.ico \
    usr/share/icons/hicolor/scalable/apps/app.quillmark.Quillmark.svg usr/share/man/man1/quillmark.1.gz \
    usr/share/man/man1/act-standin.1.gz usr/share/doc/quillmark/copyright; do
    [ -s "$r/$f" ] || { echo "missing $f"; exit 1; }
done
for s in 16 32 48 64 128 256; do
    identify -format "%wx%h\n" "$r/usr/share/icons/hicolor/${s}x${s}/apps/app.quillmark.Quillmark.png" | grep -qx "${s}x${s}"
done
for l in quillmark act-standin; do
    [ "$(readlink "$r/usr/bin/$l")" = "../lib/quillmark/$l" ] || { echo "usr/bin/$l is no link to the program folder"; exit 1; }
done
echo "all there"
export ACT_STANDIN_HOME="$tmp/act" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" XDG_RUNTIME_DIR="$tmp/run"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
"$r/usr/bin/act-standin" start >/dev/null
echo "== the unpacked tool, through its link, without a display"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$r/usr/bin/quillmark" --version
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$r/usr/bin/quillmark" --check --report "$tmp/rights.csv"
"$r/usr/bin/act-standin" quit >/dev/null

# 4. Installed on this machine, started as an ordinary login on the demo database.
echo "== dpkg -i"
$sudo_cmd apt-get install -y -q "$root/$deb" >/dev/null
dpkg -L quillmark | grep -E '^/usr/(bin|lib/quillmark)/' | sort
login=quillmark-try
id "$login" >/dev/null 2>&1 || $sudo_cmd useradd --create-home --shell /bin/bash "$login"
home=$(getent passwd "$login" | cut -d: -f6)
$sudo_cmd rm -rf "$home/.local/share/Quillmark" "$home/.local/share/act-standin" "$home/.config/Quillmark"
as_login() { # a fresh login's environment, nothing of this script's
    local cmd=(env -i HOME="$home" USER="$login" LOGNAME="$login" PATH=/usr/local/bin:/usr/bin:/bin "$@")
    if [ "$(id -u)" -eq 0 ]; then runuser -u "$login" -- "${cmd[@]}"; else sudo -u "$login" "${cmd[@]}"; fi
}
$sudo_cmd install -d -m 777 "$tmp/shot"
cat >"$tmp/shot/try.sh" <<'TRY'
#!/usr/bin/env bash
# As the ordinary login: the stand-in on its demo database, the installed tool started with its
# desktop entry's command, a global right changed with the keyboard and written by Close.
set -euo pipefail
cd "$HOME"
export XDG_RUNTIME_DIR=$(mktemp -d)
act-standin start >/dev/null
openbox >/dev/null 2>&1 &
for _ in $(seq 50); do # a window mapped before the window manager runs would never show
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done
$(sed -n 's/^Exec=//p' /usr/share/applications/app.quillmark.Quillmark.desktop | head -1) >/dev/null 2>&1 &
app=$!
win=$(xdotool search --sync --onlyvisible --name '^Quillmark$' | head -1)
sleep 1.5
xdotool windowactivate --sync "$win" key alt+s # Show Field Settings
sleep 1
xdotool mousemove --window "$win" 60 125 click 1 # the third global row, by its name
sleep 0.3
xdotool key F2 Up # the rights chooser over its "Rights" cell; Initialize
sleep 0.5
import -frame -window "$win" "$1/installed.png"
xdotool key Return Return # keep the pick; Close writes the global rights
wait "$app" || true
echo "$HOME/.local/share/Quillmark/Settings/Users.dat:"
od -c "$HOME/.local/share/Quillmark/Settings/Users.dat" | head -3
TRY
chmod 755 "$tmp/shot/try.sh"
echo "== the installed tool as the ordinary login $login, on the demo database"
as_login timeout -k 5 180 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$tmp/shot/try.sh" "$tmp/shot"
grep -q 'GlobalI={USR-0003-19B4}' "$home/.local/share/Quillmark/Settings/Users.dat" || {
    echo "the right was not saved"
    exit 1
}
cp "$tmp/shot/installed.png" "$root/docs/screenshots/installed.png"
echo "wrote docs/screenshots/installed.png ($(identify -format '%wx%h' "$root/docs/screenshots/installed.png"))"
if [ "$keep" != "--keep" ]; then
    $sudo_cmd dpkg -r quillmark >/dev/null
    $sudo_cmd userdel -r "$login" 2>/dev/null || true
    echo "package and login $login removed again"
fi
