#!/bin/sh
# Builds the release packages in build/dist: Quillomat-Setup.exe (NSIS) and
# Quillomat-<version>-portable.zip. The same sources give the same bytes:
# file times come from the last commit, and nothing else varies.
# Runs inside the toolchain root.
set -eu
cd /src
tools/build.sh >/dev/null
version=$(sed -n 's/^#define QM_VERSION_\(MAJOR\|MINOR\|PATCH\) \([0-9]*\)$/\2/p' common/ProductInfo.h | paste -sd.)
out=/src/build/dist
stage=$out/stage
rm -rf "$out"; mkdir -p "$stage/Quillomat-$version"
epoch=${SOURCE_DATE_EPOCH:-$(git -C /src log -1 --format=%ct 2>/dev/null || echo 315532800)}

cp build/windows/Quillomat.exe "$stage/Quillomat.exe"

# Where a code-signing certificate would be used: sign the program (and below
# the installer) when one is given. Nothing is signed yet.
sign() {
  if [ -n "${QM_SIGNING_CERT:-}" ]; then
    osslsigncode sign -pkcs12 "$QM_SIGNING_CERT" -pass "${QM_SIGNING_PASSWORD:-}" -n Quillomat -in "$1" -out "$1.signed"
    mv "$1.signed" "$1"
  fi
}
sign "$stage/Quillomat.exe"

makensis -V2 -DVERSION="$version" -DPROGRAM="$stage/Quillomat.exe" -DOUTFILE="$out/Quillomat-Setup.exe" \
  dist/Quillomat.nsi >"$out/makensis.log" 2>&1 || { cat "$out/makensis.log"; exit 1; }
sign "$out/Quillomat-Setup.exe"

cp "$stage/Quillomat.exe" "$stage/Quillomat-$version/Quillomat.exe"
cp dist/README-portable.txt "$stage/Quillomat-$version/README.txt"
find "$stage/Quillomat-$version" -exec touch -h -d "@$epoch" {} +
(cd "$stage" && TZ=UTC zip -q -X -r "$out/Quillomat-$version-portable.zip" "Quillomat-$version")
rm -rf "$stage"
echo "packages in build/dist:"
ls -1 "$out" | grep -v makensis.log
