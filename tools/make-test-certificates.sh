#!/bin/sh
# Makes the certificates the TLS tests use, in tests/data/tls/: a test CA (its key is thrown
# away), a server certificate it signs for localhost and 127.0.0.1, one it signs for another
# host name, and a self-signed one nobody trusts. Valid for 100 years. Run again only to
# replace them all.
set -eu

out="$(cd "$(dirname "$0")/.." && pwd)/tests/data/tls"
mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
days=36500

openssl req -x509 -newkey rsa:2048 -nodes -days "$days" -subj "/CN=QUILLBOX test CA" \
    -keyout "$work/ca.key" -out "$out/ca.pem" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"

# signed NAME SUBJECT_ALT_NAMES: a leaf certificate signed by the test CA.
signed() {
    openssl req -newkey rsa:2048 -nodes -subj "/CN=$1" -keyout "$out/$1.key" -out "$work/$1.csr"
    printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$2" \
        >"$work/$1.ext"
    openssl x509 -req -in "$work/$1.csr" -CA "$out/ca.pem" -CAkey "$work/ca.key" \
        -CAcreateserial -CAserial "$work/ca.srl" -days "$days" -extfile "$work/$1.ext" -out "$out/$1.pem"
}

signed server "DNS:localhost,IP:127.0.0.1"
signed wrong-host "DNS:wrong-host.invalid"

openssl req -x509 -newkey rsa:2048 -nodes -days "$days" -subj "/CN=untrusted" \
    -keyout "$out/untrusted.key" -out "$out/untrusted.pem" \
    -addext "subjectAltName=DNS:localhost,IP:127.0.0.1"
