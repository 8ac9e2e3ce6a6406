#!/usr/bin/env bash
# Regenerates docs/screenshots/*.png from the real program on the demo ACT! database: the
# collapsed main window, the expanded one with both check boxes ticked by clicks, the rights
# chooser laid over a "Rights" cell of each list (also at twice the scale), the "Settings File
# Location" dialog, the "Integrate with ACT!" dialog with some boxes checked and its restart
# question, the About window, the "Rights Report" window (after an export, and filtered to one
# user), its History page with a change selected, and the start-up's progress on a large
# database, cancelled with a click. The README and the user manual show them.
#
# The windows show the paths a user sees: the program runs as installed in /opt/quillmark for a
# login "admin" (in a mount namespace of its own, `unshare`, where both folders are empty
# scratch space; where that is not possible, from a temporary folder), with no stored
# preferences, so its settings files are the defaults, Settings/Users.dat and Settings/ beside
# the program. It runs on a virtual X display with a window manager (so the windows have their
# title bars; IceWM, which draws only the buttons a window asks for, where Openbox would give
# every dialog a minimise button) and is driven by clicks and keys (xdotool).
#
#     bash scripts/screenshots.sh            (QM_BUILD=folder to use an existing build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if [ "${1:-}" != "--on-display" ]; then
    bash scripts/deps.sh
    build=${QM_BUILD:-build/screenshots}
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DQM_BENCH=OFF \
        -DQM_MANUAL=OFF >/dev/null
    cmake --build "$build" --target quillmark act-standin quillmark_icons
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    mode=plain
    case "$root" in
    /opt/* | /home/*) ;; # the scratch folders would hide the sources
    *) if unshare -rm true 2>/dev/null; then mode=namespace; fi ;;
    esac
    # For the report's check, another login's link in the settings folder in place of the field
    # file of "Tax ID" (250), leading to the administrator's shell start-up file. It is made here,
    # outside the namespace, where root can hand it to "nobody" (in the namespace, whose only
    # user is this login, it then shows as made by the unmapped "nobody"); elsewhere the report
    # shows no such finding.
    mkdir -p "$tmp/quillmark/Settings"
    ln -s /home/admin/.bashrc "$tmp/quillmark/Settings/Demo250.dat"
    if ! chown -h nobody "$tmp/quillmark/Settings/Demo250.dat" 2>/dev/null; then
        rm "$tmp/quillmark/Settings/Demo250.dat"
        echo "Not root: the report's screenshot shows no link made by another login." >&2
    fi
    launcher=()
    [ "$mode" = namespace ] && launcher=(unshare -rm)
    xvfb-run -a -s "-screen 0 2048x1536x24 -dpi 96" "${launcher[@]}" \
        bash "$0" --on-display "$(cd "$build" && pwd)" "$tmp" "$mode"
    exit 0
fi

# On the virtual display.
build=$2 tmp=$3 mode=$4
if [ "$mode" = namespace ]; then
    mount -t tmpfs tmpfs /opt
    mount -t tmpfs tmpfs /home
    prog=/opt/quillmark
    export HOME=/home/admin
else
    prog=$tmp/quillmark
    export HOME=$tmp/home
fi
mkdir -p "$prog/Settings" "$HOME"
# The settings folder made before, with what another login planted in it.
[ "$mode" = namespace ] && mount --bind "$tmp/quillmark/Settings" "$prog/Settings"
cp "$build/bin/quillmark" "$build/bin/act-standin" "$build"/bin/*.ico "$prog/"
export XDG_RUNTIME_DIR=$tmp/run
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
unset XDG_CONFIG_HOME ACT_STANDIN_HOME
"$prog/act-standin" start >/dev/null
# Rights for the demo users: global ones, and "Account Number" (210) with rights of its own and
# a drop-down list; for the report's check, a user no longer in the database, a field no longer
# protected (Fax), a key left by an unfinished save, a field's file that is no text (and the
# link planted above).
printf '[Demo]\r\nGlobalF={USR-0002-C7D1}{USR-0005-7A63}\r\nGlobalI={USR-0001-5E2A}{USR-0007-4B9E}\r\n210F={USR-0003-19B4}\r\n210I={USR-0002-C7D1}{USR-0008-A1F0}\r\n215F={USR-0004-E08F}{USR-0010-0000}\r\n118I={USR-0001-5E2A}\r\nGlobal=\r\n' >"$prog/Settings/Users.dat"
printf 'OnlyFromDropdown=0\r\nAllowEditing=0\r\nACC-1000\r\nACC-2000\r\nACC-3000\r\n' >"$prog/Settings/Demo210.dat"
# "Contract Type" (245) saved as Unicode by a text editor: the check finds a file that is no text.
{ printf '\xff\xfe'; printf 'OnlyFromDropdown=1\r\nAllowEditing=1\r\nMonthly\r\nAnnual\r\n' |
    iconv -f ASCII -t UTF-16LE; } >"$prog/Settings/Demo245.dat"

out="$root/docs/screenshots"
mkdir -p "$out"
export QT_QPA_PLATFORM=xcb
icewm >/dev/null 2>&1 &
sleep 2

start() { # [scale]
    QT_SCALE_FACTOR=${1:-1} "$prog/quillmark" >/dev/null 2>&1 &
    app=$!
    win=$(xdotool search --sync --onlyvisible --name '^Quillmark$' | head -1)
    sleep 1.5 # the window manager frames the window; the start-up settles its height
}
shot() { # window-name file
    local id
    id=$(xdotool search --sync --onlyvisible --name "$1" | head -1)
    xdotool windowactivate --sync "$id" >/dev/null 2>&1 || true
    sleep 0.5
    import -frame -window "$id" "$out/$2"
    echo "wrote docs/screenshots/$2 ($(identify -format '%wx%h' "$out/$2"))"
}
click() { # x y (window coordinates at scale 1) [scale]: a click there
    local k=${3:-1}
    xdotool mousemove --window "$win" $(($1 * k)) $(($2 * k)) click 1
    sleep 0.5
}
shot_active() { # file: the window that has the focus (a message box titled like the main window)
    sleep 1
    import -frame -window "$(xdotool getactivewindow)" "$out/$1"
    echo "wrote docs/screenshots/$1 ($(identify -format '%wx%h' "$out/$1"))"
}
finish() { # Escape presses Cancel: the window closes and stores its place
    xdotool windowactivate --sync "$win" key Escape >/dev/null 2>&1 || true
    wait "$app" || true
}

start
shot '^Quillmark$' main-collapsed.png
xdotool windowactivate --sync "$win" key alt+s # Show Field Settings
sleep 1
click 90 566  # the caption of "Only from Drop-down"
click 235 566 # the middle of "Allow editing"
shot '^Quillmark$' main-expanded.png
click 344 264 # Save
echo "Save wrote $prog/Settings/Demo210.dat: $(head -2 "$prog/Settings/Demo210.dat" | tr -d '\r' | tr '\n' ' ')"
click 180 125 # the "Rights" cell of the third global row
shot '^Quillmark$' main-chooser-global.png
click 185 390 # the "Rights" cell of the third row of the field's list
shot '^Quillmark$' main-chooser-field.png
finish

# At twice the scale, placed where it fits: the default place.
sed -i '/^Top=/d; /^Left=/d' "$HOME/.config/Quillmark/Quillmark.conf"
start 2
click 185 390 2
shot '^Quillmark$' main-chooser-2x.png
finish

start # opens expanded again, as it was left
xdotool windowactivate --sync "$win" key alt+o l # Options > Settings Locations
shot '^Settings File Location$' locations.png
xdotool key Escape
sleep 0.5
xdotool windowactivate --sync "$win" key alt+o i # Options > Integrate with ACT!
xdotool search --sync --onlyvisible --name '^Integrate with ACT!$' >/dev/null
sleep 0.5
# The focus starts on the toolbar's "Contacts": check it, the toolbar's "Groups" and the Tools
# menu's "Contacts"; each is installed in the stand-in at once.
xdotool key space Tab Tab space Tab Tab Tab Tab space
shot '^Integrate with ACT!$' integrate.png
xdotool key Return # Close asks whether to restart ACT!
shot_active restart-question.png
xdotool key Escape # No: the dialog closes, the tool goes on
sleep 0.5
xdotool windowactivate --sync "$win" key alt+h a # Help > About
shot '^About Quillmark$' about.png
xdotool key Escape
sleep 0.5
finish

start
xdotool windowactivate --sync "$win" key alt+o r # Options > Rights Report...
xdotool search --sync --onlyvisible --name '^Rights Report' >/dev/null
# Taller than it opens, and the splitter between the grid and the settings check dragged up to
# below the grid's last row, so that the check shows every hazard without scrolling.
report=$(xdotool search --sync --onlyvisible --name '^Rights Report' | head -1)
xdotool windowsize --sync "$report" 960 760
sleep 0.5
xdotool mousemove --window "$report" 480 537 mousedown 1
sleep 0.2
xdotool mousemove --window "$report" 480 500
sleep 0.2
xdotool mousemove --window "$report" 480 478 mouseup 1
sleep 0.5
xdotool key alt+e # Export CSV...: the file dialog suggests "Demo rights.csv" in the home folder
xdotool search --sync --onlyvisible --name '^Save' >/dev/null
sleep 0.5
xdotool key Return
sleep 1
shot '^Rights Report' report.png
xdotool key alt+u && xdotool type --delay 40 'castillo' # the User filter
sleep 0.5
shot '^Rights Report' report-filtered.png
# The History page: the change log holds the field's Save clicked above; a click on its row shows
# it whole below.
xdotool key alt+h
sleep 1
xdotool mousemove --window "$(xdotool search --onlyvisible --name '^Rights Report' | head -1)" 300 104 click 1
sleep 0.5
shot '^Rights Report' history.png
xdotool key Escape
sleep 0.5
finish

# A large database on a slow ACT!: the start-up shows its progress; a click on its Cancel ends
# the tool with status 1.
"$prog/act-standin" create-large "$HOME/Large.dbf" >/dev/null
"$prog/act-standin" open "$HOME/Large.dbf" >/dev/null
ACT_STANDIN_CALL_DELAY_US=50 "$prog/quillmark" >/dev/null 2>&1 &
app=$!
win=$(xdotool search --sync --onlyvisible --name '^Quillmark$' | head -1)
sleep 1
shot '^Quillmark$' startup-progress.png
eval "$(xdotool getwindowgeometry --shell "$win")"
click $((WIDTH - 50)) $((HEIGHT - 22)) # Cancel, at the lower right
status=0
wait "$app" || status=$?
echo "Cancel on the start-up's progress: exit status $status"
