#!/bin/sh
# Builds and runs the benchmarks under Wine on a virtual screen; prints one
# line per figure, "name value". Then, on the same screen with the same
# scene, three capturers take the same 1920 x 1080 area at 30 frames a second
# for the same time, one after the other, and again at 60 (those figures
# end in _60): the engine; its peer, the Windows
# build of FFmpeg with gdigrab under the same Wine (build/peer/ffmpeg.exe,
# put there on the host by tools/fetch-peer.sh); and, as a floor, the Linux
# FFmpeg's x11grab reading the X screen directly. Their CPU time and frames
# are compared.
#   bench.sh [--quick]
#   bench.sh --soak [MINUTES]   only the long recording (30 minutes)
set -eu
cd /src
tools/build.sh >/dev/null
# The finisher, natively: an hour's fragmented recording finished, and
# recovered with its last fragment torn (the recording is made once, by FFmpeg).
[ "${1:-}" = "--soak" ] || build/bench/finisher_bench build/bench-cache || status=$?
session=/tmp/qm-bench
sound=/tmp/qm-bench-sound
seconds=20
[ "${1:-}" = "--quick" ] && seconds=5
QM_SCREEN=${QM_BENCH_SCREEN:-3840x2160x24} tools/wine-session.sh start "$session" >/dev/null
tools/sound-server.sh start "$sound" >/dev/null
trap 'tools/sound-server.sh stop "$sound"; tools/wine-session.sh stop "$session"' EXIT
bench=build/windows/bench/quillomat_bench.exe
if [ "${1:-}" = "--soak" ]; then
  echo "# soak: recording 1920 x 1080 with sound for ${2:-30} minutes"
  PULSE_SERVER="unix:$sound/xdg/pulse/native" \
    tools/wine-session.sh run "$session" wine "$bench" --soak "${2:-30}" </dev/null 2>&1 | grep --line-buffered -v '^ALSA'
  exit 0
fi
PULSE_SERVER="unix:$sound/xdg/pulse/native" \
  tools/wine-session.sh run "$session" wine "$bench" "$@" </dev/null >/tmp/bench.out 2>&1 || status=$?
grep -v '^ALSA' /tmp/bench.out

# Side by side: ours first (the scene stays up), then the others. CPU times
# are the kernel's, in milliseconds; the X server's share (it copies the
# pixels for all of them) is shown beside them.
cpu_ms() {  # utime + stime of the given processes
  for pid in "$@"; do cat "/proc/$pid/stat" 2>/dev/null; done |
    awk -v tck="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); t += $12 + $13 } END { printf "%.0f", t * 1000 / tck }'
}
wait_for() {
  i=0
  until [ -f "$1" ]; do
    i=$((i + 1)); [ $i -le 3000 ] || { echo "# bench: no $1" >&2; return 1; }
    sleep 0.05
  done
}
# side_by_side FPS SUFFIX: the three capturers at FPS, figures named with SUFFIX.
side_by_side() {
  fps=$1 suffix=$2
  rm -f /tmp/qm-capture-ready /tmp/qm-capture-go /tmp/qm-capture-done /tmp/qm-peer-done
  tools/wine-session.sh run "$session" wine "$bench" --capture "$seconds" "$fps" </dev/null >/tmp/capture.out 2>&1 &
  ours=$!
  xvfb=$(cat "$session/xvfb.pid")
  wait_for /tmp/qm-capture-ready
  pids=$(pgrep -f 'quillomat_bench.exe' | tr '\n' ' ')
  ours0=$(cpu_ms $pids); x0=$(cpu_ms "$xvfb")
  touch /tmp/qm-capture-go
  wait_for /tmp/qm-capture-done
  ours1=$(cpu_ms $pids); x1=$(cpu_ms "$xvfb")
  if [ -f build/peer/ffmpeg.exe ]; then
    python3 tools/gdigrab-peer.py "$session" build/peer/ffmpeg.exe "$seconds" 1920x1080 "$fps" >/tmp/gdigrab.out
    x2=$(cpu_ms "$xvfb")
    grep -q '^gdigrab_cpu_ms' /tmp/gdigrab.out && echo "gdigrab_xserver_cpu_ms $((x2 - x1))" >>/tmp/gdigrab.out
  else
    echo "# gdigrab: $(cat build/peer/unavailable 2>/dev/null || echo 'no build/peer/ffmpeg.exe (make bench fetches it)')" >/tmp/gdigrab.out
    x2=$x1
  fi
  (. "$session/env"; python3 tools/x11grab-peer.py "$seconds" 1920x1080 "$DISPLAY" "$fps") >/tmp/peer.out
  x3=$(cpu_ms "$xvfb")
  touch /tmp/qm-peer-done
  wait "$ours" || true
  {
    echo "capture_seconds $seconds"
    echo "capture_cpu_ms $((ours1 - ours0))"
    grep -E '^(capture_frames|# capture)' /tmp/capture.out || true
    echo "capture_xserver_cpu_ms $((x1 - x0))"
    cat /tmp/gdigrab.out
    cat /tmp/peer.out
    echo "x11grab_xserver_cpu_ms $((x3 - x2))"
  } >/tmp/side.out
  awk '{ v[$1] = $2 }
    END {
      if (v["gdigrab_cpu_ms"] > 0) printf "cpu_ratio_vs_gdigrab %.3f\n", v["capture_cpu_ms"] / v["gdigrab_cpu_ms"]
      if (v["gdigrab_frames"] > 0) printf "frames_ratio_vs_gdigrab %.3f\n", v["capture_frames"] / v["gdigrab_frames"]
      # gdigrab may deliver far fewer frames than asked for: the cost of each.
      if (v["gdigrab_cpu_ms"] > 0 && v["capture_frames"] > 0 && v["gdigrab_frames"] > 0)
        printf "cpu_per_frame_ratio_vs_gdigrab %.3f\n", (v["capture_cpu_ms"] / v["capture_frames"]) / (v["gdigrab_cpu_ms"] / v["gdigrab_frames"])
      if (v["x11grab_cpu_ms"] > 0) printf "cpu_ratio_vs_x11grab %.3f\n", v["capture_cpu_ms"] / v["x11grab_cpu_ms"]
      if (v["x11grab_frames"] > 0) printf "frames_ratio_vs_x11grab %.3f\n", v["capture_frames"] / v["x11grab_frames"]
    }' /tmp/side.out >/tmp/ratios.out
  cat /tmp/side.out /tmp/ratios.out | sed "s/^\([a-z0-9_]*\) /\1$suffix /"
}
side_by_side 30 ""
side_by_side 60 _60
exit "${status:-0}"
