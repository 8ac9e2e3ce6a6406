#!/usr/bin/env bash
# Runs the COM client's tests under Wine, in a private Wine prefix, for CTest:
#
#     wine-test.sh setup            create the prefix (once) and register the fake ACT! server
#     wine-test.sh run GROUP        run one group of tst_actcom
#     wine-test.sh cleanup          end every Wine process of the prefix
#
# QM_WINE_DIR names the folder holding the mingw-w64 build (mingw/) and the prefix (prefix/).
# Without Wine or the mingw-w64 build the tests are skipped (exit 77) with a message saying so.
#
# Wine's output always goes to a file, never to a pipe: a local server started by a test keeps
# the pipe open and the caller would wait for it.
set -uo pipefail

dir=${QM_WINE_DIR:?QM_WINE_DIR is not set}
mingw=$dir/mingw
export WINEPREFIX=$dir/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

skip() {
    echo "SKIPPED: $1 - the COM tests under Wine did not run."
    echo "Install them with: apt-get install wine wine64 g++-mingw-w64-x86-64-win32 (scripts/deps.sh does)."
    exit 77
}
command -v wine >/dev/null 2>&1 || skip "Wine is not installed"
[ -f "$mingw/tests/com/tst_actcom.exe" ] || skip "the mingw-w64 build is missing (no x86_64-w64-mingw32-g++)"

# Runs a Wine command with its output in a log file, then shows the log.
quiet_wine() {
    local log=$dir/wine-$$.log
    "$@" >"$log" 2>&1 </dev/null
    local rc=$?
    cat "$log"
    rm -f "$log"
    [ $rc -eq 0 ] || echo "($* exited with $rc)"
    return $rc
}

case "${1:-}" in
setup)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        start=$(date +%s)
        quiet_wine wineboot -i >/dev/null || { echo "wineboot failed"; exit 1; }
        # The new prefix settles (its services end) before anything else starts in it: a local
        # server started while it settles may never be reached.
        wineserver -w >/dev/null 2>&1 </dev/null
        echo "Wine prefix created in $(( $(date +%s) - start )) s: $WINEPREFIX"
    fi
    # One Wine session for all the tests of this run, ended by the cleanup.
    wineserver -p >/dev/null 2>&1 </dev/null
    quiet_wine wine "$mingw/standin/com/fakeact-server.exe" /RegServer
    ;;
run)
    # A test program that prints nothing at all never ran (Wine failed to start it, seen once in
    # many runs on a loaded machine): that start is tried once more, saying so. A program that ran
    # and failed a check always prints its checks, and is never run again.
    log=$dir/run-$$.log
    for try in 1 2; do
        wine "$mingw/tests/com/tst_actcom.exe" "${2:?group}" >"$log" 2>&1 </dev/null
        rc=$?
        [ $rc -ne 0 ] && [ ! -s "$log" ] && [ $try -eq 1 ] || break
        echo "(Wine ended the test program with $rc before it printed anything; starting it once more)"
        sleep 1
    done
    cat "$log"
    rm -f "$log"
    [ $rc -eq 0 ] || echo "(tst_actcom.exe ${2} exited with $rc)"
    exit $rc
    ;;
cleanup)
    wineserver -k >/dev/null 2>&1 </dev/null
    exit 0
    ;;
*)
    echo "usage: wine-test.sh setup|run GROUP|cleanup" >&2
    exit 2
    ;;
esac
