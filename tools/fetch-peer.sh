#!/bin/sh
# Puts the Windows build of FFmpeg, the peer that `make bench` measures the
# engine against under the same Wine, into build/peer/ffmpeg.exe. Runs on the
# host before the bench enters the toolchain root, whose network reaches no
# registry. The npm package is fetched once and kept outside the repository,
# in /var/cache/quillomat-peer (QM_PEER_CACHE moves it). When it cannot be
# had, build/peer/unavailable says why in one line and the bench goes on
# without the peer.
set -u
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${QM_PEER_CACHE:-/var/cache/quillomat-peer}
package=@ffmpeg-installer/win32-x64@4.1.0
# The build that was measured by hand; another one would not be comparable.
sha256=c8abc49e7be62dde8e12972af373959e0076a7b8dc8040eb45978e0608f8781e
cached=$cache/ffmpeg-win32-x64-4.1.0/ffmpeg.exe
out=$repo/build/peer

mkdir -p "$out"
rm -f "$out/unavailable"
unavailable() {
  [ -f "$out/ffmpeg.exe" ] || echo "$*" >"$out/unavailable"
  exit 0
}

if [ ! -f "$cached" ]; then
  command -v npm >/dev/null 2>&1 || unavailable "npm is not installed here, so $package cannot be fetched"
  mkdir -p "$cache" || unavailable "cannot make $cache"
  work=$(mktemp -d "$cache/.fetch.XXXXXX") || unavailable "cannot write to $cache"
  trap 'rm -rf "$work"' EXIT
  echo "# fetching $package into $cache (once)" >&2
  # Few and short retries: offline, the bench should not wait minutes.
  if ! (cd "$work" && npm pack --fetch-retries=1 --fetch-timeout=20000 "$package") >"$work/npm.log" 2>&1; then
    unavailable "cannot fetch $package with npm ($(sed -n 's/^npm error code //p' "$work/npm.log" | head -n 1 || true); no registry reachable?)"
  fi
  tar -xzf "$work"/*.tgz -C "$work" package/ffmpeg.exe 2>/dev/null \
    || unavailable "the package $package holds no ffmpeg.exe"
  echo "$sha256  $work/package/ffmpeg.exe" | sha256sum -c --status \
    || unavailable "the ffmpeg.exe of $package is not the one measured before (checksum differs)"
  mkdir -p "$(dirname "$cached")" && mv "$work/package/ffmpeg.exe" "$cached" \
    || unavailable "cannot store ffmpeg.exe in $cache"
fi
cmp -s "$cached" "$out/ffmpeg.exe" || cp "$cached" "$out/ffmpeg.exe"
