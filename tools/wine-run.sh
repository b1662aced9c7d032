#!/bin/sh
# Runs one Windows program under Wine: CTest's emulator for the Windows tests.
# Uses the session named by QM_WINE_SESSION (started by the test fixture), or
# makes a private one for this program alone.
#
# A program still running after QM_HANG_SECONDS (170: before CTest's own
# limit of 180) has hung: it is named, and the whole Wine session ends with
# it (whatever hangs it may hang the server too); the session's server is
# started again, so that the rest of the run goes on.
set -u
here=$(cd "$(dirname "$0")" && pwd)

session=${QM_WINE_SESSION:-}
private=""
if [ -z "$session" ] || [ ! -f "$session/env" ]; then
  private=$(mktemp -d /tmp/qm-wine.XXXXXX)
  session=$private
  "$here/wine-session.sh" start "$session" >/dev/null || exit 1
fi

# Output through a file, never a pipe: see wine-session.sh.
out=$(mktemp /tmp/qm-wine-out.XXXXXX)
timeout -k 5 "${QM_HANG_SECONDS:-170}" "$here/wine-session.sh" run "$session" wine "$@" </dev/null >"$out" 2>&1
rc=$?
cat "$out"
rm -f "$out"
if [ $rc -eq 124 ] || [ $rc -eq 137 ]; then
  echo "HUNG: $* was still running after ${QM_HANG_SECONDS:-170} s; the Wine session was ended and started again"
  "$here/wine-session.sh" restart "$session"
  rc=1
fi

if [ -n "$private" ]; then
  "$here/wine-session.sh" stop "$session"
  rm -rf "$private"
fi
exit $rc
