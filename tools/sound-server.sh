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
  # The tone, made by the server itself at its real rate, so that no
  # process of the test run can fall behind with it; at an eighth of full
  # scale less 3 dB, as a quiet microphone gives.
  module=$(pactl load-module module-sine sink=tone frequency=440)
  input=$(pactl -f json list sink-inputs | python3 -c '
import json, sys
print(next(i["index"] for i in json.load(sys.stdin) if str(i.get("owner_module")) == sys.argv[1]))' "$module")
  pactl set-sink-input-volume "$input" 0.177
  # What the server offers as inputs, in its order, for the tests to compare.
  pactl -f json list sources 2>/dev/null | python3 -c '
import json, sys
for source in json.load(sys.stdin):
    print(source.get("description", ""))' >"$dir/sources.txt" || true
  echo "export XDG_RUNTIME_DIR=$runtime" >"$dir/env"
  echo "sound server ready: default input $(pactl get-default-source)"
  ;;
stop)
  XDG_RUNTIME_DIR="$runtime" HOME="$dir" pactl exit 2>/dev/null || true
  ;;
*) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
