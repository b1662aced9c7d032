#!/bin/sh
# A virtual X screen and a throw-away Wine prefix, shared by every Windows
# program of one test run (a fresh prefix costs seconds; a program in an
# existing one starts in a fraction of a second).
#
#   wine-session.sh start DIR     new Xvfb screen + prefix under DIR; the DLLs
#                                 named in QM_SYSTEM_DLLS go into its System32,
#                                 in place of Wine's own; QM_LOGPIXELS sets
#                                 the display scale (144 is 150 %)
#   wine-session.sh stop DIR      end both
#   wine-session.sh restart DIR   end every Wine process of the session at
#                                 once and start its server again (after a
#                                 program that hung); the prefix stays
#   wine-session.sh run DIR CMD   run CMD with DISPLAY/WINEPREFIX of DIR
#
# Daemons get their output sent to files: Wine's helpers inherit descriptors,
# and one left holding a test runner's pipe makes the runner wait forever.
set -eu

cmd=${1:?usage}; dir=${2:?usage}
screen=${QM_SCREEN:-1920x1080x24}

# A persistent server whose process id is known, so that it can be ended
# even when it answers no request.
start_server() {
  setsid wineserver -f -p </dev/null >>"$dir/wineserver.log" 2>&1 &
  echo $! >"$dir/wineserver.pid"
  # Up once its socket is there, in the folder it works in.
  i=0
  until [ -S "/proc/$(cat "$dir/wineserver.pid")/cwd/socket" ]; do
    i=$((i + 1)); [ $i -le 100 ] || { echo "wineserver did not start" >&2; exit 1; }
    sleep 0.1
  done
}

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
  start_server
  # The prefix is booted by the first program started in it (Wine runs
  # `wineboot --init` for it and waits until that has finished). Never run
  # `wineboot -i` here as well: that boots the prefix a second time, and a
  # second service manager with its drivers runs beside the first one's.
  # No window manager runs on the virtual screen: let Wine draw captions and
  # frames itself, as Windows would, instead of leaving them to one.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >>"$dir/wineboot.log" 2>&1
  # The display scale (dots per inch; 96 is 100 %), as Windows' display
  # settings keep it. Wine takes it at its next start, below.
  if [ -n "${QM_LOGPIXELS:-}" ]; then
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$QM_LOGPIXELS" /f \
      </dev/null >>"$dir/wineboot.log" 2>&1
  fi
  # Two small drives for the fault tests: T: is full after 20 MiB, and R:
  # cannot be written at all (mounted read-only: root ignores permissions).
  mkdir -p "$dir/tiny" "$dir/readonly"
  if mount -t tmpfs -o size=20m tmpfs "$dir/tiny" 2>/dev/null; then
    ln -sfn "$dir/tiny" "$WINEPREFIX/dosdevices/t:"
  fi
  if mount -t tmpfs -o ro,size=64k tmpfs "$dir/readonly" 2>/dev/null; then
    ln -sfn "$dir/readonly" "$WINEPREFIX/dosdevices/r:"
  fi
  # As installed on Windows: in System32, and taken in place of Wine's own.
  for dll in ${QM_SYSTEM_DLLS:-}; do
    cp "$dll" "$WINEPREFIX/drive_c/windows/system32/"
    wine reg add 'HKCU\Software\Wine\DllOverrides' /v "$(basename "$dll" .dll)" /d native,builtin /f \
      </dev/null >>"$dir/wineboot.log" 2>&1
  done
  # The server writes the registry to the prefix only now and then: ended
  # gently once, it writes the booted prefix out, so that a restart after a
  # hang (below) finds a whole prefix.
  wineserver -k </dev/null >/dev/null 2>&1 || true
  wait "$(cat "$dir/wineserver.pid")" 2>/dev/null || true
  start_server
  echo "wine session ready on display $display"
  ;;
restart)
  . "$dir/env"
  # A server that spins answers nobody, `wineserver -k` included: it and
  # every process of the session (known by the prefix in its environment)
  # are ended by force.
  kill -9 "$(cat "$dir/wineserver.pid")" 2>/dev/null || true
  for process in /proc/[0-9]*; do
    if tr '\0' '\n' <"$process/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
      kill -9 "${process#/proc/}" 2>/dev/null || true
    fi
  done
  sleep 1
  start_server
  ;;
stop)
  if [ -f "$dir/env" ]; then
    . "$dir/env"
    timeout 10 wineserver -k >/dev/null 2>&1 || true
    [ -f "$dir/wineserver.pid" ] && kill -9 "$(cat "$dir/wineserver.pid")" 2>/dev/null || true
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
