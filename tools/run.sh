#!/bin/sh
# Starts the program under Wine. With a display (QM_DISPLAY) it runs there
# until closed; without one it runs on a virtual screen for a few seconds,
# saves a screenshot to build/run/screenshot.png and stops.
set -eu
cd /src
tools/build.sh
exe=/src/build/windows/Quillomat.exe
out=/src/build/run
mkdir -p "$out"

if [ -n "${QM_DISPLAY:-}" ]; then
  export DISPLAY="$QM_DISPLAY" WINEPREFIX=/src/build/run/prefix WINEDEBUG=-all
  export WINEDLLOVERRIDES='mscoree=;mshtml=;winemenubuilder.exe=d'
  exec wine "$exe"
fi

session=/tmp/qm-run
tools/wine-session.sh start "$session" >/dev/null
tools/wine-session.sh run "$session" wine "$exe" </dev/null >"$out/program.log" 2>&1 &
sleep "${QM_RUN_SECONDS:-6}"
. "$session/env"
screen=${QM_SCREEN:-1920x1080x24}
ffmpeg -loglevel error -y -f x11grab -video_size "${screen%x*}" -i "$DISPLAY" -frames:v 1 "$out/screenshot.png"
tools/wine-session.sh stop "$session"
echo "Quillomat ran for ${QM_RUN_SECONDS:-6} s on a virtual screen; screenshot: build/run/screenshot.png"
