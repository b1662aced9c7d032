#!/usr/bin/env python3
"""The Windows build of FFmpeg capturing an area of the screen with gdigrab
under the same Wine as the engine, without encoding: prints its CPU time
and the frames it delivered.

  gdigrab-peer.py SESSION_DIR FFMPEG_EXE SECONDS WIDTHxHEIGHT [FPS]

The CPU time is the kernel's account (/proc/<pid>/stat, as for the engine)
of the Wine processes that run ffmpeg.exe. The one started here is read
after it has exited but before it is reaped, so its last moments count too;
any other (a helper Wine might start for it) is read while it runs.
Everything ffmpeg.exe writes goes to files: Wine's helpers inherit
descriptors, and one left holding a pipe of ours would keep us waiting.
"""
import glob
import os
import subprocess
import sys
import time

session, exe, seconds, size = sys.argv[1:5]
fps = sys.argv[5] if len(sys.argv) > 5 else "30"
work = "/tmp/qm-gdigrab"
os.makedirs(work, exist_ok=True)
progress = os.path.join(work, "progress.txt")
tick = os.sysconf("SC_CLK_TCK")


def cpu_ms(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) * 1000.0 / tick


def other_ffmpeg_pids(own):
    for path in glob.glob("/proc/[0-9]*/cmdline"):
        pid = int(path.split("/")[2])
        if pid == own:
            continue
        try:
            with open(path, "rb") as cmdline:
                program = cmdline.read().split(b"\0", 1)[0]
        except OSError:
            continue
        if program.lower().endswith(b"ffmpeg.exe"):
            yield pid


width, height = size.split("x")
command = [os.path.join(os.path.dirname(os.path.abspath(__file__)), "wine-session.sh"), "run", session,
           "wine", exe, "-nostats", "-loglevel", "error", "-progress", progress,
           "-f", "gdigrab", "-framerate", fps, "-draw_mouse", "1", "-video_size", size,
           "-offset_x", "0", "-offset_y", "0", "-i", "desktop", "-t", seconds, "-f", "null", "-"]
with open(os.path.join(work, "stdout.txt"), "wb") as out, open(os.path.join(work, "stderr.txt"), "wb") as err:
    # wine-session.sh and wine exec in turn: this pid ends up running ffmpeg.exe.
    proc = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
helpers = {}
deadline = time.monotonic() + float(seconds) + 90
while os.waitid(os.P_PID, proc.pid, os.WEXITED | os.WNOWAIT | os.WNOHANG) is None:
    if time.monotonic() > deadline:
        proc.kill()
        break
    for pid in other_ffmpeg_pids(proc.pid):
        try:
            helpers[pid] = cpu_ms(pid)
        except (OSError, IndexError, ValueError):
            pass
    time.sleep(0.2)
cpu = cpu_ms(proc.pid) + sum(helpers.values())
returncode = proc.wait()

frames = []
if os.path.exists(progress):
    with open(progress) as lines:
        frames = [line.split("=", 1)[1].strip() for line in lines if line.startswith("frame=")]
if returncode != 0 or not frames:
    with open(os.path.join(work, "stderr.txt"), errors="replace") as err:
        why = " ".join(line.strip() for line in err if not line.startswith("ALSA"))[-300:]
    print("# gdigrab failed (exit %d): %s" % (returncode, why))
    sys.exit(0)
print("gdigrab_cpu_ms %.0f" % cpu)
print("gdigrab_frames %s" % frames[-1])
if helpers:
    print("# gdigrab: %d more Wine process(es) ran ffmpeg.exe, counted in its CPU" % len(helpers))
