#!/bin/sh
# Starts the built program under Wine on a display and returns when it has
# ended, with its exit code. `make run` comes here when there is a display
# (after building); the test of that road calls it directly.
#   run-on-display.sh DISPLAY [WINEPREFIX]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
export DISPLAY="${1:?usage: run-on-display.sh DISPLAY [WINEPREFIX]}"
export WINEPREFIX="${2:-$here/build/run/prefix}" WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree=;mshtml=;winemenubuilder.exe=d'
# Wine fills a new prefix by itself on its first start, but cannot make the
# folders above it.
mkdir -p "$WINEPREFIX"
exec wine "$here/build/windows/Quillomat.exe"
