#!/bin/sh
# Starts or stops the local version service of the tests (one per test run).
#   version-service.sh start DIR PORT [HOST [PROGRAM INSTALLER NEXT VERSION OLD_INSTALLER]]
#       with HOST: over HTTPS as HOST; with the rest: signed programs and
#       installers for the update tests (tools/test-signing.sh)
#   version-service.sh stop DIR
set -eu
cmd=${1:?usage}; dir=${2:?usage}
here=$(cd "$(dirname "$0")/.." && pwd)
case "$cmd" in
start)
  port=${3:?usage}
  host=${4:-}
  umount "$dir/tiny" 2>/dev/null || true
  rm -rf "$dir"; mkdir -p "$dir"
  tls=""
  if [ -n "$host" ]; then
    "$here/tools/test-tls.sh" "$dir/tls" "$host"
    tls="$dir/tls/server.pem $dir/tls/server.key"
    [ $# -ge 9 ] && "$here/tools/test-signing.sh" "$dir" "$5" "$6" "$7" "$8" "$9"
  fi
  # A folder too small for an installer, for the write-failure test.
  mkdir -p "$dir/tiny"
  mount -t tmpfs -o size=64k tmpfs "$dir/tiny" 2>/dev/null || true
  # shellcheck disable=SC2086
  setsid python3 "$here/tests/update/version_service.py" "$dir" "$port" $tls </dev/null >"$dir/service.log" 2>&1 &
  echo $! >"$dir/pid"
  i=0
  until [ -f "$dir/ready" ]; do
    i=$((i + 1)); [ $i -le 100 ] || { echo "the version service did not start" >&2; cat "$dir/service.log" >&2; exit 1; }
    sleep 0.1
  done
  ;;
stop)
  [ -f "$dir/pid" ] && kill "$(cat "$dir/pid")" 2>/dev/null || true
  umount "$dir/tiny" 2>/dev/null || true
  if [ -d "$dir/tls" ]; then
    umount /etc/ssl/certs/ca-certificates.crt 2>/dev/null || true
    umount /etc/hosts 2>/dev/null || true
  fi
  ;;
esac
