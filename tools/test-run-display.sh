#!/bin/sh
# `make run` on a display, on the test run's screen: the program comes up in
# a prefix whose folder does not exist yet, is closed as a user closes it
# (taskkill without /f sends its window WM_CLOSE), and ends with exit code 0.
# Runs inside the toolchain root, on what the build left.
#   test-run-display.sh WINE_SESSION_DIR WORK_DIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
session=${1:?usage}; work=${2:?usage}
. "$session/env"
rm -rf "$work"; mkdir -p "$work"
prefix=$work/run/prefix
fail() { echo "FAILED: $*"; tail -n 20 "$work/log"; WINEPREFIX=$prefix wineserver -k 2>/dev/null; exit 1; }

"$here/run-on-display.sh" "$DISPLAY" "$prefix" </dev/null >"$work/log" 2>&1 &
program=$!
# A new prefix is filled on the first start, which takes a while.
shown=""
for _ in $(seq 1 500); do
  shown=$(xdotool search --onlyvisible --name '^quillomat$' 2>/dev/null | head -n 1)
  [ -n "$shown" ] && break
  kill -0 "$program" 2>/dev/null || break
  sleep 0.2
done
[ -n "$shown" ] || fail "the main window did not appear"
WINEPREFIX=$prefix WINEDEBUG=-all wine taskkill /im Quillomat.exe </dev/null >>"$work/log" 2>&1 \
  || fail "taskkill found no Quillomat.exe"
# Bounded: a program left running would show its window to the next test.
for _ in $(seq 1 150); do
  kill -0 "$program" 2>/dev/null || break
  sleep 0.2
done
kill -0 "$program" 2>/dev/null && fail "the program was still running 30 s after it was closed"
wait "$program"
status=$?
[ "$status" = 0 ] || fail "the program ended with exit code $status"
WINEPREFIX=$prefix wineserver -k 2>/dev/null
rm -rf "$work"
echo "ok: the program came up on the display and ended cleanly when closed"
