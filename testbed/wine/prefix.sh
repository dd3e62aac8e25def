#!/usr/bin/env bash
# Creates the tests' private Wine prefix (once) and keeps one wineserver alive for a run.
# usage: prefix.sh WINE_DIR setup|stop
set -euo pipefail
WINE_DIR=$1
. "$(dirname "$0")/wine-env.sh"
mkdir -p "$HOME"

case "$2" in
setup)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "creating Wine prefix $WINEPREFIX"
        wineboot -i </dev/null >/dev/null 2>&1
        wineserver -w
    fi
    # A new prefix links Documents to $HOME; the agent's files there must be a folder of the prefix.
    users="$WINEPREFIX/drive_c/users"
    for u in "$users"/*; do
        d="$u/Documents"
        if [ -L "$d" ]; then rm "$d"; mkdir -p "$d"; fi
    done
    # Headless: the null graphics driver, taken up by a fresh wineserver.
    if ! grep -q '"Graphics"="null"' "$WINEPREFIX/user.reg" 2>/dev/null; then
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
    fi
    # A fresh server for the run (a left-over one would refuse -p and keep stale programs).
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    # Detached from our output: a test runner waits for every holder of its pipes.
    wineserver -p </dev/null >/dev/null 2>&1
    # Start the prefix's services (they outlive the program) now, detached the same way.
    wine cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
    ;;
stop)
    wineserver -k 2>/dev/null || true
    ;;
*)
    echo "usage: prefix.sh WINE_DIR setup|stop" >&2
    exit 2
    ;;
esac
