#!/bin/sh
# Builds and runs the benchmarks under Wine on a virtual screen; prints one
# line per figure, "name value".
set -eu
cd /src
tools/build.sh >/dev/null
session=/tmp/qm-bench
sound=/tmp/qm-bench-sound
QM_SCREEN=${QM_BENCH_SCREEN:-3840x2160x24} tools/wine-session.sh start "$session" >/dev/null
tools/sound-server.sh start "$sound" >/dev/null
PULSE_SERVER="unix:$sound/xdg/pulse/native" \
  tools/wine-session.sh run "$session" wine build/windows/tests/quillomat_bench.exe "$@" </dev/null >/tmp/bench.out 2>&1 || status=$?
tools/sound-server.sh stop "$sound"
tools/wine-session.sh stop "$session"
cat /tmp/bench.out
exit "${status:-0}"
