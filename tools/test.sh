#!/bin/sh
# Builds everything and runs every test in one ctest run (native tests and
# the Windows tests under Wine). Runs inside the toolchain root.
set -eu
cd /src
tools/build.sh
tools/dist.sh >/dev/null
cd build
# ctest's summary is the last thing printed.
exec ctest --output-on-failure -j2 --timeout 300
