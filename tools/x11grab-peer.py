#!/usr/bin/env python3
"""FFmpeg's x11grab capturing an area of the X screen for a while, without
encoding (as the engine's benchmark hands its frames to a writer that does
not encode): prints its CPU time and the frames it delivered.

  x11grab-peer.py SECONDS WIDTHxHEIGHT DISPLAY [FPS]
"""
import resource
import subprocess
import sys

seconds, size, display = sys.argv[1], sys.argv[2], sys.argv[3]
fps = sys.argv[4] if len(sys.argv) > 4 else "30"
before = resource.getrusage(resource.RUSAGE_CHILDREN)
run = subprocess.run(
    ["ffmpeg", "-nostats", "-loglevel", "error", "-progress", "pipe:1",
     "-f", "x11grab", "-framerate", fps, "-video_size", size, "-draw_mouse", "1",
     "-i", display + "+0,0", "-t", seconds, "-f", "null", "-"],
    capture_output=True, text=True)
after = resource.getrusage(resource.RUSAGE_CHILDREN)
frames = [line.split("=", 1)[1] for line in run.stdout.splitlines() if line.startswith("frame=")]
if run.returncode != 0 or not frames:
    print("# x11grab failed: " + run.stderr.strip().replace("\n", " "))
    sys.exit(0)
cpu = (after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime) * 1000
print("x11grab_cpu_ms %.3f" % cpu)
print("x11grab_frames %s" % frames[-1].strip())
