#!/bin/sh
# A PulseAudio server for the tests, in the toolchain root: a null sink with a
# 440 Hz tone played into it in real time, its monitor the default input, so
# Wine's default capture device delivers a known sound at its real rate; and
# a second null sink, `speakers`, the default output, which plays nothing
# until a test plays into it (what the computer plays, captured in loopback
# from its monitor).
#
#   sound-server.sh start DIR   (DIR/env then names the server for clients)
#   sound-server.sh stop DIR
set -eu
cmd=${1:?usage}; dir=${2:?usage}
runtime="$dir/xdg"

case "$cmd" in
start)
  rm -rf "$dir"; mkdir -p "$runtime"; chmod 700 "$runtime"
  export XDG_RUNTIME_DIR="$runtime" HOME="$dir"
  # As root PulseAudio warns but runs; it must not exit when idle.
  pulseaudio -D --exit-idle-time=-1 -n --log-target=file:"$dir/pulse.log" \
    --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=tone rate=48000 channels=2 sink_properties=device.description=QuillomatTone" \
    --load="module-null-sink sink_name=speakers rate=48000 channels=2 sink_properties=device.description=QuillomatSpeakers" \
    </dev/null >"$dir/pulse.out" 2>&1
  i=0
  until pactl info >/dev/null 2>&1; do
    i=$((i + 1)); [ $i -le 100 ] || { echo "the sound server did not start" >&2; cat "$dir/pulse.log" >&2; exit 1; }
    sleep 0.1
  done
  pactl set-default-source tone.monitor
  pactl set-default-sink speakers
  # The tone, generated and played at its real rate for as long as the tests run.
  setsid sh -c 'ffmpeg -loglevel error -re -f lavfi -i sine=frequency=440:sample_rate=48000 -ac 2 -f s16le - |
    pacat -d tone --rate=48000 --channels=2 --format=s16le --latency-msec=20' </dev/null >"$dir/tone.log" 2>&1 &
  echo $! >"$dir/tone.pid"
  # What the server offers as inputs, in its order, for the tests to compare.
  pactl -f json list sources 2>/dev/null | python3 -c '
import json, sys
for source in json.load(sys.stdin):
    print(source.get("description", ""))' >"$dir/sources.txt" || true
  echo "export XDG_RUNTIME_DIR=$runtime" >"$dir/env"
  echo "sound server ready: default input $(pactl get-default-source)"
  ;;
stop)
  [ -f "$dir/tone.pid" ] && kill -- -"$(cat "$dir/tone.pid")" 2>/dev/null || true
  XDG_RUNTIME_DIR="$runtime" HOME="$dir" pactl exit 2>/dev/null || true
  ;;
*) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
