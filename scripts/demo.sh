#!/usr/bin/env bash
# The main job: set up, build, then run the agent under Wine as it would run on a user's
# machine (installed in C:\Quillmere with the monitor stand-in beside it) and show what it
# does: a hidden window titled with its file name, the monitor started, and its log.
# QM_SKIP_BUILD=1 skips set-up and build (an existing build/ is used).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${QM_BUILD_DIR:-$ROOT/build}
WINE_DIR=$BUILD/wine

if [ "${QM_SKIP_BUILD:-0}" != 1 ]; then
    bash scripts/setup.sh
    bash scripts/build.sh
fi

say() { printf '\n[demo] %s\n' "$*"; }
wine_run() { bash testbed/wine/run.sh "$WINE_DIR" "$@"; }
winlist() { { wine_run "$BUILD/win32/bin/winlist.exe" "$@" 2>/dev/null || true; } | tr -d '\r'; }
# Windows process id of the window with this title ("" when there is none).
window_pid() { winlist "$1" | sed -n 's/^pid=\([0-9]*\) .*/\1/p' | head -1; }

say "Wine prefix $WINE_DIR/prefix"
bash testbed/wine/prefix.sh "$WINE_DIR" setup
DRIVE_C=$WINE_DIR/prefix/drive_c
trap 'bash testbed/wine/prefix.sh "$WINE_DIR" stop' EXIT

# A running agent would hold its mutex and make the new start a duplicate.
for title in Quillmere.exe plugWatch.exe; do
    pid=$(window_pid "$title")
    [ -n "$pid" ] && wine_run taskkill /f /pid "$pid" >/dev/null 2>&1 || true
done

say "installing build/dist into C:\\Quillmere, with the token-monitor stand-in beside it"
rm -rf "$DRIVE_C/Quillmere"
mkdir -p "$DRIVE_C/Quillmere"
cp "$BUILD"/dist/* "$DRIVE_C/Quillmere/"
cp "$BUILD/win32/bin/plugWatch.exe" "$DRIVE_C/Quillmere/"
ls -1 "$DRIVE_C/Quillmere"

# The log folder is the user's to create; the agent never does.
mkdir -p "$DRIVE_C/qvlog" "$DRIVE_C/qvtest"
rm -f "$DRIVE_C/qvlog/Quillmere.log" "$DRIVE_C/qvtest/monitor.log"

say "starting C:\\Quillmere\\Quillmere.exe"
wine_run 'C:\Quillmere\Quillmere.exe' </dev/null >/dev/null 2>&1 &
agent_pid=""
for _ in $(seq 1 60); do
    agent_pid=$(window_pid Quillmere.exe)
    [ -n "$agent_pid" ] && break
    sleep 1
done
if [ -z "$agent_pid" ]; then
    echo "[demo] the agent's window did not appear" >&2
    exit 1
fi
# A few timer ticks: the agent finds no monitor window and starts the monitor.
sleep 4

say "top-level windows (visible=0: hidden)"
winlist
if winlist Quillmere.exe | grep -q 'visible=0 title=Quillmere.exe$'; then
    echo "=> the agent runs hidden, titled Quillmere.exe (Windows pid $agent_pid)"
else
    echo "=> the agent's window is not hidden" >&2
    exit 1
fi

say "starting it a second time: the copy logs that one is running and exits"
wine_run 'C:\Quillmere\Quillmere.exe' </dev/null >/dev/null 2>&1 || true
echo "=> second copy ended; windows titled Quillmere.exe: $(winlist Quillmere.exe | grep -c . || true)"

say "the monitor stand-in's record of its starts (c:\\qvtest\\monitor.log)"
cat "$DRIVE_C/qvtest/monitor.log" 2>/dev/null | tr -d '\r' || echo "(not started)"

say "the agent's log (c:\\qvlog\\Quillmere.log, GBK shown as UTF-8)"
iconv -f GBK -t UTF-8 "$DRIVE_C/qvlog/Quillmere.log" | tr -d '\r'

say "stopping the agent and the monitor"
wine_run taskkill /f /pid "$agent_pid" >/dev/null 2>&1 || true
monitor_pid=$(window_pid plugWatch.exe)
[ -n "$monitor_pid" ] && wine_run taskkill /f /pid "$monitor_pid" >/dev/null 2>&1 || true
wait || true
say "done"
