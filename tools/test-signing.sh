#!/bin/sh
# Code signing for the update tests, by the run's throw-away authorities that
# tools/test-tls.sh made and trusted for this run only.
#
#   test-signing.sh DIR PROGRAM INSTALLER NEXT VERSION OLD_INSTALLER
#
# writes DIR/signed/Quillomat.exe, the program signed by the test publisher,
# and, among the files the version service serves (DIR/files), INSTALLER (of
# VERSION) as
#   setup-signed.exe    signed by the same publisher
#   setup-renewed.exe   signed by the same publisher with a renewed key
#   setup-unsigned.exe  without a signature
#   setup-tampered.exe  signed by the same publisher, one byte changed since
#   setup-other.exe     signed by another publisher of the same authority
#   setup-otherca.exe   signed with the publisher's name by another authority
# and OLD_INSTALLER (of an older version) as setup-old.exe, signed by the
# publisher; and Quillomat-Setup-VERSION.exe, the real installer of NEXT (the
# program built as VERSION), signed by the publisher.
set -eu
dir=${1:?usage}; program=${2:?usage}; installer=${3:?usage}; next=${4:?usage}; version=${5:?usage}
old=${6:?usage}
tls=$dir/tls

printf 'basicConstraints=CA:FALSE\nkeyUsage=digitalSignature\nextendedKeyUsage=codeSigning\n' >"$tls/signing.ext"
publisher() {  # NAME SUBJECT [AUTHORITY]
  authority=${3:-ca}
  openssl req -newkey rsa:2048 -nodes -subj "/CN=$2" -keyout "$tls/$1.key" -out "$tls/$1.csr" >/dev/null 2>&1
  openssl x509 -req -in "$tls/$1.csr" -CA "$tls/$authority.pem" -CAkey "$tls/$authority.key" -CAcreateserial \
    -days 2 -extfile "$tls/signing.ext" -out "$tls/$1.pem" >/dev/null 2>&1
}
sign() {  # PUBLISHER IN OUT
  rm -f "$3"  # osslsigncode does not overwrite
  osslsigncode sign -h sha256 -n Quillomat -certs "$tls/$1.pem" -key "$tls/$1.key" -in "$2" -out "$3" >/dev/null
}

publisher quillomat "Quillomat Test Publisher"
publisher renewed "Quillomat Test Publisher"
publisher other "Another Publisher"
publisher otherca "Quillomat Test Publisher" ca2
mkdir -p "$dir/signed" "$dir/files"
sign quillomat "$program" "$dir/signed/Quillomat.exe"
sign quillomat "$installer" "$dir/files/setup-signed.exe"
sign renewed "$installer" "$dir/files/setup-renewed.exe"
sign other "$installer" "$dir/files/setup-other.exe"
sign otherca "$installer" "$dir/files/setup-otherca.exe"
sign quillomat "$old" "$dir/files/setup-old.exe"
cp "$installer" "$dir/files/setup-unsigned.exe"
cp "$dir/files/setup-signed.exe" "$dir/files/setup-tampered.exe"
python3 - "$dir/files/setup-tampered.exe" <<'PY'
import sys
with open(sys.argv[1], "r+b") as f:
    f.seek(len(f.read()) // 2)
    byte = f.read(1)
    f.seek(-1, 1)
    f.write(bytes([byte[0] ^ 0xFF]))
PY

makensis -V2 -DVERSION="$version" -DPROGRAM="$next" -DOUTFILE="$tls/next-setup.exe" \
  "$(dirname "$0")/../dist/Quillomat.nsi" >"$tls/makensis.log" 2>&1 || { cat "$tls/makensis.log" >&2; exit 1; }
sign quillomat "$tls/next-setup.exe" "$dir/files/Quillomat-Setup-$version.exe"
