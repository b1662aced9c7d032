#!/bin/sh
# The version service's host name and certificate, for this test run only:
# a throw-away certificate authority joins the root's trust store and the
# host name points at 127.0.0.1. Both are mounts over the root's files, so
# they vanish with the run's mount namespace and the cached root stays clean.
#
#   test-tls.sh DIR HOST     (writes DIR/ca.pem, DIR/ca2.pem, DIR/server.pem, DIR/server.key)
set -eu
dir=${1:?usage}; host=${2:?usage}
mkdir -p "$dir"

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quillomat Test CA" \
  -keyout "$dir/ca.key" -out "$dir/ca.pem" >/dev/null 2>&1
# A second trusted authority, for a certificate in the publisher's name that
# the publisher's own authority never issued.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Another Test CA" \
  -keyout "$dir/ca2.key" -out "$dir/ca2.pem" >/dev/null 2>&1
openssl req -newkey rsa:2048 -nodes -subj "/CN=$host" -keyout "$dir/server.key" -out "$dir/server.csr" >/dev/null 2>&1
printf 'subjectAltName=DNS:%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$host" >"$dir/server.ext"
openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -CAcreateserial -days 2 \
  -extfile "$dir/server.ext" -out "$dir/server.pem" >/dev/null 2>&1

# An earlier run in the same namespace left its mounts: take them away first.
while umount /etc/ssl/certs/ca-certificates.crt 2>/dev/null; do :; done
while umount /etc/hosts 2>/dev/null; do :; done

# Trust: the system bundle plus both authorities, mounted over the bundle.
cat /etc/ssl/certs/ca-certificates.crt "$dir/ca.pem" "$dir/ca2.pem" >"$dir/ca-bundle.crt"
mount --bind "$dir/ca-bundle.crt" /etc/ssl/certs/ca-certificates.crt
# Name: the host resolves to this machine.
{ cat /etc/hosts; echo "127.0.0.1 $host"; } >"$dir/hosts"
mount --bind "$dir/hosts" /etc/hosts
