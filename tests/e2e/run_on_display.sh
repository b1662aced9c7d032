#!/bin/sh
# `make run` on a display, on the test run's screen: the program comes up in
# a prefix whose folder does not exist yet, is closed as a user closes it
# (taskkill without /f sends its window WM_CLOSE), and ends with exit code 0.
#   run_on_display.sh WINE_SESSION_DIR WORK_DIR
set -u
tools=$(cd "$(dirname "$0")/../../tools" && pwd)
. "$1/env"
work=$2
rm -rf "$work"
export WINEPREFIX="$work/run/prefix" WINEDEBUG=-all
fail() { echo "FAILED: $*"; tail -n 20 "$work.log"; wineserver -k; exit 1; }
"$tools/run-on-display.sh" "$DISPLAY" "$WINEPREFIX" </dev/null >"$work.log" 2>&1 &
program=$!
# A new prefix is filled on the first start, which takes a while.
timeout 100 sh -c 'until xdotool search --onlyvisible --name "^quillomat\$"; do sleep 0.2; done' >/dev/null ||
  fail "the main window did not appear"
wine taskkill /im Quillomat.exe </dev/null >>"$work.log" 2>&1 || fail "taskkill found no Quillomat.exe"
# Bounded: a program left running would show its window to the next test.
timeout 30 sh -c "while kill -0 $program 2>/dev/null; do sleep 0.2; done" || fail "still running 30 s after it was closed"
wait "$program" || fail "the program ended with exit code $?"
wineserver -k
rm -rf "$work" "$work.log"
