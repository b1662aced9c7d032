#!/bin/sh
# Runs one Windows program under Wine: CTest's emulator for the Windows tests.
# Uses the session named by QM_WINE_SESSION (started by the test fixture), or
# makes a private one for this program alone.
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
"$here/wine-session.sh" run "$session" wine "$@" </dev/null >"$out" 2>&1
rc=$?
cat "$out"
rm -f "$out"

if [ -n "$private" ]; then
  "$here/wine-session.sh" stop "$session"
  rm -rf "$private"
fi
exit $rc
