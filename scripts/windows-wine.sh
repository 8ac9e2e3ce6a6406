#!/usr/bin/env bash
# The Windows tool under Wine, on the virtual display that scripts/windows.sh opens for it
# (xvfb-run), beside the Linux build of the same sources:
#
#   a fresh Wine prefix; the installer run silently (/S) and what it installed checked;
#   quillmark.exe --version and --help; the fake ACT! automation server registered and running
#   on the demo database; --check and --report against it, compared with the Linux build's on
#   the stand-in's demo database and the same settings files; the main window (screenshots); the
#   typical road by pointer in both builds, and the files each wrote compared byte for byte; a
#   user who is no administrator refused; the window closed by each of ACT!'s two events; the
#   time per automation call across processes; the silent uninstall.
#
# Not meant to be run by hand: scripts/windows.sh sets QM_W_TMP, QM_W_OUT, QM_W_ROOT, QM_W_SETUP.
set -uo pipefail
tmp=${QM_W_TMP:?} out=${QM_W_OUT:?} root=${QM_W_ROOT:?} setup=${QM_W_SETUP:?}
shots=$root/docs/screenshots
com=$out/com/standin/com
linux=$out/linux/bin
export WINEPREFIX=$tmp/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
failures=()

say() { echo "== $*"; }
ok() { echo "   ok: $*"; }
fail() {
    echo "   FAILED: $*"
    failures+=("$*")
}
# Wine's output always goes to a file: a server it starts would keep a pipe open.
w() { # log command...
    local log=$1
    shift
    wine "$@" >"$log" 2>&1 </dev/null
}
winpath() { winepath -w "$1" 2>/dev/null; }
# Waits until process $1 has ended, at most $2 seconds; false when it still runs.
ended() {
    local i
    for ((i = 0; i < $2 * 10; i++)); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    return 1
}
window() { # title regex [least height]: the id of a shown window of that title at least that
    # high, waiting up to 90 s. The start-up's progress window has the main window's title and is
    # hidden (not destroyed) when the main window shows, hence the height and the map state.
    local i id
    for ((i = 0; i < 180; i++)); do
        for id in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
            xwininfo -id "$id" 2>/dev/null | awk -v h="${2:-0}" '
                /Height:/ {tall = $2 >= h} /Map State: IsViewable/ {shown = 1}
                END {exit !(tall && shown)}' && echo "$id" && return 0
        done
        sleep 0.5
    done
}
click() { # window x y [button]
    xdotool mousemove --window "$1" "$2" "$3" click "${4:-1}"
    sleep 0.7
}
shot() { # window file
    xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
    sleep 0.7
    import -frame -window "$1" "$shots/$2"
    echo "   wrote docs/screenshots/$2 ($(identify -format '%wx%h' "$shots/$2"))"
}

openbox >/dev/null 2>&1 &
sleep 1

# --- The prefix, and the installer ----------------------------------------------------------------
say "a fresh Wine prefix ($(wine --version))"
t=$(date +%s)
w "$tmp/wineboot.log" wineboot -i
wineserver -w
echo "   made in $(($(date +%s) - t)) s"

say "the installer, silently: $(basename "$setup") /S"
w "$tmp/setup.log" "$setup" /S && ok "exit 0" || fail "the installer's exit code"
wineserver -w
pf="$WINEPREFIX/drive_c/Program Files/Quillmark"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quillmark"
for f in quillmark.exe act-standin.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll platforms/qwindows.dll \
    styles/qwindowsvistastyle.dll libstdc++-6.dll QLM_User_Manual.pdf quillmark.ico quillmark32.ico \
    Uninstall.exe; do
    [ -f "$pf/$f" ] || fail "not installed: $f"
done
[ -d "$pf/Settings" ] && ok "C:\\Program Files\\Quillmark\\Settings made" || fail "no Settings folder"
ls "$menu"/*.lnk >/dev/null 2>&1 && ok "Start menu: $(cd "$menu" && ls | tr '\n' ',' | sed 's/,$//; s/,/, /g')" ||
    fail "no Start-menu entry"
w "$tmp/reg.log" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillmark'
grep -q DisplayVersion "$tmp/reg.log" && ok "listed in the installed programs ($(grep -o 'DisplayVersion.*' "$tmp/reg.log" | tr -s ' \t' ' '))" ||
    fail "no uninstall entry"
# The installer grants the users the Settings folder with icacls; Wine's icacls only says so.
WINEDEBUG=fixme+icacls wine icacls 'C:\Program Files\Quillmark\Settings' /grant '*S-1-5-32-545:(OI)(CI)M' \
    >"$tmp/icacls.log" 2>&1 </dev/null
grep -a -o 'fixme:icacls:main .*' "$tmp/icacls.log" | head -1 | sed 's/^/   Wine: /'

exe='C:\Program Files\Quillmark\quillmark.exe'
say "quillmark.exe --version, --help"
w "$tmp/version.txt" "$exe" --version
tr -d '\r' <"$tmp/version.txt" | sed 's/^/   /'
w "$tmp/help.txt" "$exe" --help
tr -d '\r' <"$tmp/help.txt" | sed 's/^/   /'
grep -q "1\.0" "$tmp/version.txt" || fail "--version printed no version"
strings -el "$pf/quillmark.exe" | grep -A1 -E '^(FileVersion|ProductVersion)$' | paste - - | sed 's/^/   version resource: /' | head -2

# --- The fake ACT!, and the same ACT! data on Linux -------------------------------------------------
say "the fake ACT! automation server, registered and running on the demo database"
w "$tmp/regserver.log" "$com/fakeact-server.exe" /RegServer && ok "registered" || fail "fakeact-server /RegServer"
wine "$com/fakeact-server.exe" /Demo >"$tmp/server.log" 2>&1 </dev/null &
server=$!
control() { wine "$com/fakeact-control.exe" "$@" >"$tmp/control.log" 2>&1 </dev/null; }
for _ in 1 2 3 4 5 6 7 8 9 10; do
    sleep 2
    control status && grep -q 'Demo.dbf' "$tmp/control.log" && break
done
tr -d '\r' <"$tmp/control.log" | sed 's/^/   /'

export ACT_STANDIN_HOME=$tmp/act XDG_CONFIG_HOME=$tmp/config XDG_RUNTIME_DIR=$tmp/xdg-run QT_QPA_PLATFORM=xcb
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
"$linux/act-standin" start >/dev/null
lset=$linux/Settings
wset=$pf/Settings
seed() { # folder: the settings files of the screenshots (scripts/screenshots.sh), with hazards
    printf '[Demo]\r\nGlobalF={USR-0002-C7D1}{USR-0005-7A63}\r\nGlobalI={USR-0001-5E2A}{USR-0007-4B9E}\r\n210F={USR-0003-19B4}\r\n210I={USR-0002-C7D1}{USR-0008-A1F0}\r\n215F={USR-0004-E08F}{USR-0010-0000}\r\n118I={USR-0001-5E2A}\r\nGlobal=\r\n' >"$1/Users.dat"
    printf 'OnlyFromDropdown=1\r\nAllowEditing=0\r\nACC-1000\r\nACC-2000\r\nACC-3000\r\n' >"$1/Demo210.dat"
}
rm -rf "$lset"
mkdir -p "$lset"
seed "$lset"
seed "$wset"

say "--check and --report: the Windows tool on the fake ACT! against the Linux tool on the stand-in"
"$linux/quillmark" --check >"$tmp/linux-check.txt" 2>&1
lrc=$?
"$linux/quillmark" --report "$tmp/linux-report.csv" >"$tmp/linux-report.txt" 2>&1
w "$tmp/wine-check.txt" "$exe" --check
wrc=$?
w "$tmp/wine-report.txt" "$exe" --report "$(winpath "$tmp/wine-report.csv")"
echo "   --check exit: Linux $lrc, Windows $wrc"
tr -d '\r' <"$tmp/wine-check.txt" | sed 's/^/   | /'
# The settings files' folders are written as each system writes paths.
norm() { tr -d '\r' <"$1" | sed "s|$lset|<Settings>|g; s|C:\\\\Program Files\\\\Quillmark\\\\Settings|<Settings>|g; s|\\\\|/|g"; }
if [ "$lrc" = "$wrc" ] && diff <(norm "$tmp/linux-check.txt") <(norm "$tmp/wine-check.txt") >"$tmp/check.diff"; then
    ok "--check: the same hazards and exit code (line ends and the settings folder aside)"
else
    fail "--check differs: $tmp/check.diff"
    sed 's/^/   /' "$tmp/check.diff"
fi
if cmp -s "$tmp/linux-report.csv" "$tmp/wine-report.csv"; then
    ok "--report: the CSV files are byte-identical ($(wc -c <"$tmp/wine-report.csv") bytes, sha256 $(sha256sum "$tmp/wine-report.csv" | cut -c1-16))"
else
    fail "--report CSV files differ"
    diff <(tr -d '\r' <"$tmp/linux-report.csv") <(tr -d '\r' <"$tmp/wine-report.csv" 2>/dev/null) | head -10
fi
rm -f "$lset"/* "$wset"/*

# --- The window, and the typical road ---------------------------------------------------------------
# Window coordinates from the window's designed geometry (src/app/Form1Layout.cpp, in pixels at
# scale 1). What each style sizes on its own is measured on the window: the menu bar's height
# (the grey line under it), and the rows of the rights lists (the band a selected row paints).
column() { # window x y0 y1: "y RRGGBB" for each pixel of column x from y0 to y1
    import -window "$1" "$tmp/column.png"
    convert "$tmp/column.png" -crop "1x$(($4 - $3))+$2+$3" +repage txt:- |
        sed -n 's/^0,\([0-9]*\): .*#\([0-9A-Fa-f]\{6\}\).*/\1 \2/p' | awk -v o="$3" '{print $1 + o, toupper($2)}'
}
menu_height() { # window: the y of the grey line under the menu bar
    column "$1" 300 0 80 | awk 'p == "808080" && $2 == "FFFFFF" {print y; exit} {p = $2; y = $1}'
}
row_band() { # window x y: selects the row at (x, y) and prints the top and height of its band,
    # the run of coloured (not grey) pixels there: the selection, plain or shaded
    click "$1" "$2" "$3"
    column "$1" "$2" $(($3 - 30)) $(($3 + 30)) | awk -v y="$3" '
        {c[$1] = (substr($2, 1, 2) != substr($2, 3, 2) || substr($2, 3, 2) != substr($2, 5, 2))}
        END {
            a = y; b = y
            while (c[a - 1]) a--
            while (c[b + 1]) b++
            print a, b - a + 1
        }'
}
road() { # window-id prefix: the typical road, and screenshots named after prefix when it is set
    local win=$1 m a h y
    click "$win" 438 174 # "Show Field Settings"
    sleep 1
    m=$(menu_height "$win")
    echo "   menu bar: ${m:?the menu bar was not found} px"
    click "$win" 170 $((242 + m)) 5 # the wheel over "Select a Protected Field": the next field
    read -r a h < <(row_band "$win" 120 $((44 + 28 + m))) # Ann Archer, first in the global list
    echo "   global list: first row at $a, $h px high"
    y=$((a + h / 2))
    click "$win" 181 "$y"   # her "Rights" cell: the chooser
    click "$win" 181 "$y" 4 # the wheel up twice: "Full"
    click "$win" 181 "$y" 4
    [ -z "$2" ] || shot "$win" "$2-chooser-global.png"
    click "$win" 80 $((y + h)) # elsewhere: the right is kept
    read -r a h < <(row_band "$win" 120 $((309 + 28 + m))) # the field's list
    echo "   field's list: first row at $a, $h px high"
    y=$((a + 2 * h + h / 2)) # Chen Wei, third
    click "$win" 184 "$y"   # the chooser
    click "$win" 184 "$y" 4 # up once: "Initialize"
    [ -z "$2" ] || shot "$win" "$2-chooser-field.png"
    click "$win" 80 $((a + h / 2)) # elsewhere: kept
    click "$win" 150 $((470 + m))  # the drop-down list
    xdotool type --delay 60 ACC-1000
    xdotool key Return
    xdotool type --delay 60 ACC-2000
    sleep 0.5
    click "$win" 42 $((545 + m))  # "Only from Drop-down"
    click "$win" 185 $((545 + m)) # "Allow editing"
    [ -z "$2" ] || shot "$win" "$2-road.png"
    click "$win" 344 $((243 + m)) # Save
    click "$win" 437 $((26 + m))  # Close
}

say "the main window under Wine, over the fake ACT!'s demo database"
wine "$exe" >"$tmp/window.log" 2>&1 </dev/null &
app=$!
win=$(window '^Quillmark$' 150)
if [ -z "$win" ]; then
    fail "the window did not open"
else
    sleep 2
    shot "$win" wine-main.png
    say "the typical road by pointer under Wine"
    road "$win" wine
    ended "$app" 30 && ok "closed by Close" || fail "the window did not close"
fi
kill "$app" 2>/dev/null

say "the same road in the Linux build, on the stand-in's demo database"
"$linux/quillmark" >"$tmp/linux-window.log" 2>&1 &
app=$!
win=$(window '^Quillmark$' 150)
if [ -z "$win" ]; then
    fail "the Linux window did not open"
else
    sleep 2
    road "$win" ""
    ended "$app" 30 || fail "the Linux window did not close"
fi
kill "$app" 2>/dev/null

say "the files written by the same clicks"
for f in $(cd "$lset" && ls) $(cd "$wset" && ls); do
    [ -f "$tmp/compared-$f" ] && continue
    touch "$tmp/compared-$f"
    if [ -d "$lset/$f" ] || [ -d "$wset/$f" ]; then
        # The change log: one file per login and machine, each line a record whose time, login
        # and check differ between the two runs; the rest (ACT! user, database, kind, field,
        # users, keys, file, note) must be the same.
        records() { cat "$1"/*.log 2>/dev/null | cut -f4-12; }
        if [ -n "$(records "$wset/$f")" ] && [ "$(records "$lset/$f")" = "$(records "$wset/$f")" ]; then
            ok "$f: the same $(records "$wset/$f" | wc -l) change record(s) but for time and login"
        else
            fail "$f: the change records differ between Linux and Windows"
        fi
        echo "   --- $f (Windows):"
        records "$wset/$f" | tr '\t' '|' | sed 's/^/   | /'
        continue
    fi
    if cmp -s "$lset/$f" "$wset/$f"; then
        ok "$f byte-identical ($(wc -c <"$wset/$f") bytes, sha256 $(sha256sum "$wset/$f" | cut -c1-16))"
    else
        fail "$f differs between Linux and Windows"
    fi
    echo "   --- $f (Windows):"
    tr -d '\r' <"$wset/$f" 2>/dev/null | sed 's/^/   | /'
done
[ -f "$wset/Users.dat" ] && ls "$wset"/Demo*.dat >/dev/null 2>&1 || fail "the road wrote no users file or no field file"

# --- A user who is no administrator, and ACT!'s two events ----------------------------------------------
say "a user who is no administrator (Ann Archer, security 3) is refused"
control user 1
wine "$exe" >"$tmp/refused.log" 2>&1 </dev/null &
app=$!
sleep 1
box=$(window '^Insufficient Security Level$')
if [ -n "$box" ]; then
    sleep 1
    shot "$box" wine-refusal.png
    xdotool windowactivate --sync "$box" key Return >/dev/null 2>&1
fi
ended "$app" 30 && ok "the refusal box, then the end" || fail "no refusal"
kill "$app" 2>/dev/null
control user 2

for event in close-db "quit-act 0"; do
    say "ACT!'s event: fakeact-control $event"
    wine "$exe" >"$tmp/event.log" 2>&1 </dev/null &
    app=$!
    win=$(window '^Quillmark$' 150)
    sleep 2
    t=$(date +%s%N)
    control $event
    if ended "$app" 30; then
        ok "the window closed $((($(date +%s%N) - t) / 1000000)) ms after the event was asked for"
    else
        fail "the window stayed open after $event"
        kill "$app" 2>/dev/null
    fi
    control open
done

say "the time per automation call, across processes under Wine"
control time 200
tr -d '\r' <"$tmp/control.log" | sed 's/^/   /'

say "act-standin.exe (SQLite for Windows): the demo database written and read back"
w "$tmp/standin.log" "$pf/act-standin.exe" create-demo 'C:\demo-check.dbf'
ls -l "$WINEPREFIX/drive_c/demo-check.dbf" >/dev/null 2>&1 && ok "written ($(wc -c <"$WINEPREFIX/drive_c/demo-check.dbf") bytes)" ||
    fail "act-standin.exe create-demo: $(tr -d '\r' <"$tmp/standin.log")"

control die
ended "$server" 20 || kill "$server" 2>/dev/null
"$linux/act-standin" quit >/dev/null 2>&1

say "the uninstaller, silently"
w "$tmp/uninstall.log" "$pf/Uninstall.exe" /S
wineserver -w
[ ! -f "$pf/quillmark.exe" ] && [ ! -f "$pf/platforms/qwindows.dll" ] && ok "the program removed" ||
    fail "the uninstaller left the program"
[ -f "$wset/Users.dat" ] && ok "the settings stay: $(cd "$wset" && ls | tr '\n' ' ')" || fail "the settings were removed"
[ ! -d "$menu" ] && ok "the Start-menu entry removed" || fail "the Start-menu entry stays"
wineserver -k 2>/dev/null

if [ ${#failures[@]} -gt 0 ]; then
    echo "== ${#failures[@]} check(s) failed under Wine:"
    printf '   %s\n' "${failures[@]}"
    exit 1
fi
echo "== everything under Wine as expected"
