#!/bin/sh
# The installer as a Windows user meets it, in a fresh Wine prefix: a silent
# install for all users, the installed program showing its main window, and a silent
# uninstall that leaves nothing behind. Runs inside the toolchain root.
set -u
dist=${1:?usage: install_run_uninstall.sh DIST_DIR}
here=$(cd "$(dirname "$0")/../../tools" && pwd)
session=$(mktemp -d /tmp/qm-dist.XXXXXX)
failures=0
check() {  # check DESCRIPTION COMMAND...
  what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
run() { "$here/wine-session.sh" run "$session" "$@" </dev/null >>"$session/log" 2>&1; }

[ -f "$dist/Quillomat-Setup.exe" ] || { echo "no installer in $dist"; exit 1; }
"$here/wine-session.sh" start "$session" >/dev/null || exit 1
. "$session/env"
programs="$WINEPREFIX/drive_c/Program Files/Quillomat"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quillomat"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillomat'

run wine "$dist/Quillomat-Setup.exe" /S  # wine returns when the installer has ended
check "the program is installed" test -f "$programs/Quillomat.exe"
check "the uninstaller is installed" test -f "$programs/Uninstall.exe"
check "a Start menu shortcut exists" test -f "$menu/Quillomat.lnk"
check "Windows lists the program" run wine reg query "$key" /v DisplayVersion

# The installed program starts and shows its main window.
(run wine "$programs/Quillomat.exe") &
check "the installed program shows its main window" \
  timeout 10 sh -c 'until xdotool search --name "^quillomat\$" >/dev/null 2>&1; do sleep 0.1; done'
run wineserver -k
sleep 0.5

# The uninstaller copies itself away, and that copy removes the original:
# wait for the folder to go.
run wine "$programs/Uninstall.exe" /S
for _ in $(seq 1 100); do [ -e "$programs" ] || break; sleep 0.2; done
check "the program and its folder are gone" test ! -e "$programs"
check "the shortcut is gone" test ! -e "$menu"
check "Windows no longer lists it" sh -c "! '$here/wine-session.sh' run '$session' wine reg query '$key' >/dev/null 2>&1"
check "no settings remain" sh -c "! '$here/wine-session.sh' run '$session' wine reg query 'HKCU\\Software\\Quillomat' >/dev/null 2>&1 &&
  ! '$here/wine-session.sh' run '$session' wine reg query 'HKLM\\Software\\Quillomat' >/dev/null 2>&1"

"$here/wine-session.sh" stop "$session"
[ "$failures" = 0 ] || { echo "--- wine output"; tail -n 30 "$session/log"; }
rm -rf "$session"
[ "$failures" = 0 ]
