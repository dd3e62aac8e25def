#!/usr/bin/env bash
# The main job: set up, build, then run the agent under Wine as it would run on a user's
# machine (installed in C:\Quillmere with the bundled virtual token library beside it),
# let the monitor stand-in announce the token, and show what the agent did: the
# certificates in "MY" with their bindings, the page it opened and its log.
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

say "installing build/dist into C:\\Quillmere, with the virtual token library (testbed/demo) beside it"
rm -rf "$DRIVE_C/Quillmere"
mkdir -p "$DRIVE_C/Quillmere/certs"
cp "$BUILD"/dist/* "$DRIVE_C/Quillmere/"
cp "$BUILD/win32/bin/plugWatch.exe" "$BUILD/win32/bin/QvPrvApi.dll" "$DRIVE_C/Quillmere/"
cp "$BUILD"/win32/bin/certs/*.der "$DRIVE_C/Quillmere/certs/"
cp testbed/demo/QvPrvApi.ini testbed/demo/openUrlList.ini "$DRIVE_C/Quillmere/"
ls -1 "$DRIVE_C/Quillmere" | grep -v '^certs$'

# The user's token list: token index 0 is this user's.
DOCS=$(ls -d "$DRIVE_C"/users/*/Documents | grep -v '/Public/' | head -1)
cp testbed/demo/qvkey.ini "$DOCS/qvkey.ini"

# The browser stand-in where Internet Explorer lies (a 32-bit program's Program Files).
IE_DIR="$DRIVE_C/Program Files (x86)/Internet Explorer"
mkdir -p "$IE_DIR"
for f in "$IE_DIR"/*; do
    case "${f##*/}" in [iI][eE][xX][pP][lL][oO][rR][eE].[eE][xX][eE]) mv -f "$f" "$IE_DIR/iexplore.demo-saved" ;; esac
done
cp "$BUILD/win32/bin/browser.exe" "$IE_DIR/IEXPLORE.EXE"
restore_ie() {
    rm -f "$IE_DIR/IEXPLORE.EXE"
    [ -f "$IE_DIR/iexplore.demo-saved" ] && mv -f "$IE_DIR/iexplore.demo-saved" "$IE_DIR/iexplore.exe"
    bash testbed/wine/prefix.sh "$WINE_DIR" stop
}
trap restore_ie EXIT

# The log folder is the user's to create; the agent never does.
mkdir -p "$DRIVE_C/qvlog" "$DRIVE_C/qvtest"
rm -f "$DRIVE_C/qvlog/Quillmere.log" "$DRIVE_C/qvtest/monitor.log" "$DRIVE_C/qvtest/browser.log"
say "emptying the user's \"MY\" store"
wine_run "$BUILD/win32/bin/storeinspector.exe" --clear 2>/dev/null | tr -d '\r' || true

started=$(date +%s)
say "starting the token monitor stand-in: it waits for the agent, then announces token 0"
echo "    Ukey插入消息, 0号Ukey插入, KEY监控完成消息"
wine_run 'C:\Quillmere\plugWatch.exe' -scenario announce0 </dev/null >/dev/null 2>&1 &
for _ in $(seq 1 60); do
    [ -n "$(window_pid plugWatch.exe)" ] && break
    sleep 1
done

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
echo "=> the agent runs hidden: $(winlist Quillmere.exe)"

# The pass ends with the page opened: wait for the browser's record.
for _ in $(seq 1 180); do
    [ -s "$DRIVE_C/qvtest/browser.log" ] && break
    sleep 1
done

say "the monitor stand-in's record (c:\\qvtest\\monitor.log)"
iconv -f GBK -t UTF-8 "$DRIVE_C/qvtest/monitor.log" 2>/dev/null | tr -d '\r' || echo "(none)"

say "certificates in the current user's \"MY\" store, with their key bindings"
wine_run "$BUILD/win32/bin/storeinspector.exe" 2>/dev/null | tr -d '\r' | tr '\t' '\n' | sed 's/^\([a-z0-9]*=\)/    \1/'

say "the page launch record (browser stand-in at Internet Explorer's path)"
if [ -s "$DRIVE_C/qvtest/browser.log" ]; then
    tr -d '\r' <"$DRIVE_C/qvtest/browser.log"
else
    echo "(no page was opened)"
fi

say "the agent's log (c:\\qvlog\\Quillmere.log, GBK shown as UTF-8)"
iconv -f GBK -t UTF-8 "$DRIVE_C/qvlog/Quillmere.log" | tr -d '\r'

say "stopping the agent and the monitor"
wine_run taskkill /f /pid "$agent_pid" >/dev/null 2>&1 || true
monitor_pid=$(window_pid plugWatch.exe)
[ -n "$monitor_pid" ] && wine_run taskkill /f /pid "$monitor_pid" >/dev/null 2>&1 || true
wait || true
say "done: the token was registered and announced in $(($(date +%s) - started)) s"
