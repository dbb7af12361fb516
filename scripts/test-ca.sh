#!/usr/bin/env bash
# A certificate authority of the tests' own, and server certificates for the simulator's
# HTTPS port, made on this machine at test time (nothing secret is committed).
# Usage: test-ca.sh DIR
#   DIR/ca.pem, ca.der         the authority (the der file is what a Wine prefix is told to trust)
#   DIR/server.pem, server.key 127.0.0.1 and localhost, signed by the authority; 127.0.0.1
#                              also as a DNS name, because Wine (8) matches the host
#                              only against DNS names and ignores IP address entries
#   DIR/wrong-name.pem, .key   signed by the authority, for another host name only
#   DIR/untrusted.pem, .key    the names of server.pem, signed by nobody but itself
# Files already there are kept while they stay valid for another 30 days, so a prefix
# that trusts the authority keeps trusting the certificates made later.
set -euo pipefail
dir=${1:?usage: test-ca.sh DIR}
mkdir -p "$dir"
exec 9>"$dir.lock"
flock 9

valid() { [ -s "$1" ] && openssl x509 -in "$1" -noout -checkend $((30 * 86400)) >/dev/null 2>&1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if ! valid "$dir/ca.pem" || [ ! -s "$dir/ca.key" ] || [ ! -s "$dir/ca.der" ]; then
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -subj "/CN=Klangnetz test authority" \
    -keyout "$tmp/ca.key" -out "$tmp/ca.pem" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
  openssl x509 -in "$tmp/ca.pem" -outform DER -out "$tmp/ca.der"
  mv "$tmp/ca.key" "$tmp/ca.der" "$dir/"
  mv "$tmp/ca.pem" "$dir/"  # last: its presence says the other two are there
  rm -f "$dir/server.pem" "$dir/wrong-name.pem"
fi

# signed NAME SAN: a key and a certificate for SAN, signed by the authority.
signed() {
  local name=$1 san=$2 first=${2%%,*}
  valid "$dir/$name.pem" && [ -s "$dir/$name.key" ] && return 0
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\nsubjectAltName=%s\n' \
    "$san" >"$tmp/$name.ext"
  openssl req -new -newkey rsa:2048 -nodes -subj "/CN=${first#*:}" -keyout "$tmp/$name.key" -out "$tmp/$name.csr" 2>/dev/null
  openssl x509 -req -sha256 -days 825 -in "$tmp/$name.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" \
    -set_serial "0x$(openssl rand -hex 16)" -extfile "$tmp/$name.ext" -out "$tmp/$name.pem" 2>/dev/null
  mv "$tmp/$name.key" "$dir/"
  mv "$tmp/$name.pem" "$dir/"
}
signed server "IP:127.0.0.1,DNS:127.0.0.1,DNS:localhost"
signed wrong-name "DNS:wrong-name.invalid"

if ! valid "$dir/untrusted.pem" || [ ! -s "$dir/untrusted.key" ]; then
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 825 -subj "/CN=127.0.0.1" \
    -keyout "$tmp/untrusted.key" -out "$tmp/untrusted.pem" \
    -addext "subjectAltName=IP:127.0.0.1,DNS:127.0.0.1,DNS:localhost" -addext "extendedKeyUsage=serverAuth" 2>/dev/null
  mv "$tmp/untrusted.key" "$dir/"
  mv "$tmp/untrusted.pem" "$dir/"
fi
