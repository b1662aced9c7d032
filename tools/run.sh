#!/bin/sh
# Starts the program under Wine. With a display (QM_DISPLAY) it runs there
# until closed. Without one it demonstrates its main job on a virtual
# screen: a lively scene, the record button pressed with the real pointer,
# five seconds recorded with the sound server's tone, stopped; the frames
# and sound the program handed to the writer become build/demo/recording.mp4.
set -eu
cd /src
tools/build.sh

if [ -n "${QM_DISPLAY:-}" ]; then
  exec tools/run-on-display.sh "$QM_DISPLAY"
fi

seconds=${QM_DEMO_SECONDS:-5}
size=${QM_DEMO_SCREEN:-1280x720}
out=/src/build/demo
session=/tmp/qm-demo
sound=/tmp/qm-demo-sound
rm -rf "$out"; mkdir -p "$out/recording"
echo "Starting a virtual ${size} screen, a Wine prefix and a sound server with a 440 Hz tone..."
QM_SCREEN="${size}x24" QM_SYSTEM_DLLS=build/windows/system32/mfreadwrite.dll tools/wine-session.sh start "$session" \
  >/dev/null
tools/sound-server.sh start "$sound" >/dev/null
trap 'tools/wine-session.sh stop "$session"; tools/sound-server.sh stop "$sound"' EXIT

echo "Recording ${seconds} s with Quillomat (the record button pressed by the pointer)..."
PULSE_SERVER="unix:$sound/xdg/pulse/native" \
  QM_SCREENSHOT_DIR="Z:$out" \
  tools/wine-session.sh run "$session" wine build/windows/standin/demo_driver.exe "$seconds" 'Z:\src\build\demo\recording' \
  </dev/null >"$out/driver.log" 2>&1 || { grep -v '^ALSA' "$out/driver.log" >&2; exit 1; }

# The program's own file, finished by it: the frames and sound it handed to
# the writer, unencoded (the writer stand-in cannot encode), encoded here.
file=$(ls -t "$out"/recording/Quillomat_*.mp4 | head -n 1)
frames=$(grep -c '^WriteSample 00000000 0 ' "$file.standin.log" || true)
ffmpeg -loglevel error -y -i "$file" -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k \
  -movflags +faststart "$out/recording.mp4"
for t in 1 3; do
  ffmpeg -loglevel error -y -ss "$t" -i "$out/recording.mp4" -frames:v 1 "$out/frame-${t}s.png"
done
rm -f "$file"
echo "Done: $frames frames recorded."
echo "  build/demo/recording.mp4                    the recording, playable"
echo "  build/demo/frame-1s.png, frame-3s.png        two of its frames"
echo "  build/demo/screen-while-recording.png       the screen half way through"
echo "  build/demo/recording/                       the writer's record of the program's file (the file, unencoded, is removed)"
