#!/usr/bin/env bash
# Builds (once) and enters the Debian 13 root that holds the cross compiler,
# Wine 10, Xvfb and the test tools. The host (Debian 12) only needs
# debootstrap and util-linux; everything else lives in the root.
#
#   tools/toolchain.sh ensure          build the root if it is missing or stale
#   tools/toolchain.sh exec CMD...     run CMD inside the root, in /src (the repository)
#
# The root is cached outside the repository, keyed by the package list and the
# recipe number below, so changing either builds a new one. A root is usable only once the
# marker file is written, so an interrupted build is detected and redone.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
cache=${QM_ROOT_CACHE:-/var/cache/quillomat-root}
mirror=${QM_DEBIAN_MIRROR:-http://deb.debian.org/debian}
packages_file="$here/root-packages.txt"

# Bump when build_root changes in a way that needs a new root.
recipe=1
key=$( { echo "recipe $recipe"; cat "$packages_file"; } | sha256sum | cut -c1-16)
root="$cache/trixie-$key"
marker="$root/.quillomat-root-complete"

die() { echo "toolchain: $*" >&2; exit 1; }

[ "$(id -u)" = 0 ] || die "must run as root (debootstrap, chroot and mount namespaces need it)"

ensure_host_tools() {
  local missing=""
  command -v debootstrap >/dev/null 2>&1 || missing="$missing debootstrap"
  command -v ip >/dev/null 2>&1 || missing="$missing iproute2"
  if [ -n "$missing" ]; then
    echo "toolchain: installing$missing on the host" >&2
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
  fi
}

# Runs a command in the root inside private mount and process namespaces:
# the mounts vanish with the command, and so does every process it started
# (Xvfb, wineserver, Wine's helpers), even when the run is killed. Builds and
# tests also get a network of their own (loopback only): the services of one
# run (X display, sound server, version service on port 443) cannot meet
# another run's, and nothing reaches outside. Building the root needs the
# package mirror, so it keeps the host's network.
in_root() {
  local workdir=$1; shift
  local network=-n
  [ "${QM_ROOT_NETWORK:-private}" = host ] && network=
  unshare -m -p --fork $network --propagation private -- /bin/sh -c '
    set -e
    root=$1; repo=$2; workdir=$3; shift 3
    ip link set lo up 2>/dev/null || true
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mount -t tmpfs -o size=50% tmpfs "$root/dev/shm"
    mount -t tmpfs tmpfs "$root/tmp"
    mkdir -p "$root/src"
    mount --bind "$repo" "$root/src"
    # A display of the host (make run): its socket folder and cookie.
    if [ -n "${QM_DISPLAY:-}" ]; then
      if [ -d /tmp/.X11-unix ]; then
        mkdir -p "$root/tmp/.X11-unix"
        mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
      fi
      cookie=${XAUTHORITY:-${HOME:-/root}/.Xauthority}
      [ -f "$cookie" ] && cp "$cookie" "$root/tmp/.Xauthority"
    fi
    cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
    exec chroot "$root" /usr/bin/env -i \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" CI="${CI:-}" \
      QM_DISPLAY="${QM_DISPLAY:-}" XAUTHORITY=/tmp/.Xauthority QM_IN_ROOT=1 FUZZ_SECONDS="${FUZZ_SECONDS:-}" \
      /bin/sh -c "cd \"\$0\" && exec \"\$@\"" "$workdir" "$@"
  ' sh "$root" "$repo" "$workdir" "$@"
}

build_root() {
  ensure_host_tools
  mkdir -p "$cache"
  # Older roots of other package lists are dead weight (about 3 GB each).
  find "$cache" -mindepth 1 -maxdepth 1 -name 'trixie-*' ! -name "trixie-$key" -exec rm -rf {} + 2>/dev/null || true
  rm -rf "$root"
  echo "toolchain: building the Debian 13 root in $root (about a minute)" >&2
  debootstrap --variant=minbase trixie "$root" "$mirror" >"$cache/debootstrap.log" 2>&1 \
    || { tail -n 20 "$cache/debootstrap.log" >&2; die "debootstrap failed (log: $cache/debootstrap.log)"; }
  local pkgs
  pkgs=$(grep -v '^\s*#' "$packages_file" | tr '\n' ' ')
  QM_ROOT_NETWORK=host in_root / /bin/sh -c "
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq &&
    apt-get install -y -qq --no-install-recommends $pkgs" >"$cache/apt.log" 2>&1 \
    || { tail -n 20 "$cache/apt.log" >&2; die "installing packages into the root failed (log: $cache/apt.log)"; }
  QM_ROOT_NETWORK=host in_root / /bin/sh -c 'apt-get clean' >/dev/null 2>&1 || true
  touch "$marker"
}

ensure() {
  [ -f "$marker" ] && return 0
  # Serialise concurrent callers; the second one finds the marker afterwards.
  mkdir -p "$cache"
  exec 9>"$cache/.lock"
  flock 9
  [ -f "$marker" ] || build_root
  flock -u 9
}

case "${1:-}" in
  ensure) ensure ;;
  exec) shift; ensure; ensure_host_tools; in_root /src "$@" ;;
  path) echo "$root" ;;
  *) die "usage: $0 ensure | exec CMD... | path" ;;
esac
