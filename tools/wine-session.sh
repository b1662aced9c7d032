#!/bin/sh
# A virtual X screen and a throw-away Wine prefix, shared by every Windows
# program of one test run (a fresh prefix costs seconds; a program in an
# existing one starts in a fraction of a second).
#
#   wine-session.sh start DIR     new Xvfb screen + prefix under DIR
#   wine-session.sh stop DIR      end both
#   wine-session.sh run DIR CMD   run CMD with DISPLAY/WINEPREFIX of DIR
#
# Daemons get their output sent to files: Wine's helpers inherit descriptors,
# and one left holding a test runner's pipe makes the runner wait forever.
set -eu

cmd=${1:?usage}; dir=${2:?usage}
screen=${QM_SCREEN:-1920x1080x24}

case "$cmd" in
start)
  umount "$dir/tiny" "$dir/readonly" 2>/dev/null || true
  rm -rf "$dir"; mkdir -p "$dir"
  : >"$dir/display"
  setsid Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset \
    3>"$dir/display" </dev/null >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/xvfb.pid"
  i=0
  while [ ! -s "$dir/display" ]; do
    i=$((i + 1)); [ $i -le 100 ] || { echo "Xvfb did not start" >&2; cat "$dir/xvfb.log" >&2; exit 1; }
    sleep 0.1
  done
  display=":$(tr -d '\n' <"$dir/display")"
  cat >"$dir/env" <<ENV
export DISPLAY=$display
export WINEPREFIX=$dir/prefix
export WINEDEBUG=-all
export WINE_SESSION_OVERRIDES='mscoree=;mshtml=;winemenubuilder.exe=d'
ENV
  . "$dir/env"
  export WINEDLLOVERRIDES="$WINE_SESSION_OVERRIDES"
  mkdir -p "$WINEPREFIX"
  setsid wineserver -p </dev/null >"$dir/wineserver.log" 2>&1
  wineboot -i </dev/null >"$dir/wineboot.log" 2>&1
  # No window manager runs on the virtual screen: let Wine draw captions and
  # frames itself, as Windows would, instead of leaving them to one.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >>"$dir/wineboot.log" 2>&1
  # Two small drives for the fault tests: T: is full after 20 MiB, and R:
  # cannot be written at all (mounted read-only: root ignores permissions).
  mkdir -p "$dir/tiny" "$dir/readonly"
  if mount -t tmpfs -o size=20m tmpfs "$dir/tiny" 2>/dev/null; then
    ln -sfn "$dir/tiny" "$WINEPREFIX/dosdevices/t:"
  fi
  if mount -t tmpfs -o ro,size=64k tmpfs "$dir/readonly" 2>/dev/null; then
    ln -sfn "$dir/readonly" "$WINEPREFIX/dosdevices/r:"
  fi
  echo "wine session ready on display $display"
  ;;
stop)
  if [ -f "$dir/env" ]; then
    . "$dir/env"
    wineserver -k >/dev/null 2>&1 || true
  fi
  umount "$dir/tiny" "$dir/readonly" 2>/dev/null || true
  if [ -f "$dir/xvfb.pid" ]; then
    kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
    rm -f "$dir/xvfb.pid"
  fi
  ;;
run)
  shift 2
  . "$dir/env"
  export WINEDLLOVERRIDES="$WINE_SESSION_OVERRIDES${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
  exec "$@"
  ;;
*)
  echo "usage: $0 start|stop|run DIR [CMD...]" >&2; exit 2 ;;
esac
