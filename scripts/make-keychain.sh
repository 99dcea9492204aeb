#!/usr/bin/env bash
# Makes a keychain folder with a root authority (roots/) and a signing
# identity it issued (identities/, certificate and unencrypted key in one PEM
# file), for the demo and for tests. Both certificates start a day back, so
# they are valid at once (a certificate is not valid in its first second).
# usage: make-keychain.sh FOLDER [SIGNER-COMMON-NAME]
set -euo pipefail
DIR="$1"
SIGNER="${2:-Pendrel Demo Signer}"
[ -e "$DIR/identities/signer.pem" ] && exit 0

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
umask 077
START="$(date -u -d '1 day ago' +%Y%m%d%H%M%SZ)"
ROOT_END="$(date -u -d '10 years' +%Y%m%d%H%M%SZ)"
SIGNER_END="$(date -u -d '5 years' +%Y%m%d%H%M%SZ)"

mkdir -p "$WORK/issued"
: > "$WORK/index.txt"
cat > "$WORK/ca.cnf" <<CNF
[req]
distinguished_name = dn
[dn]
[ca]
default_ca = demo
[demo]
dir = $WORK
database = $WORK/index.txt
new_certs_dir = $WORK/issued
serial = $WORK/serial
default_md = sha256
policy = anything
unique_subject = no
copy_extensions = none
[anything]
countryName = optional
organizationName = optional
commonName = supplied
[root]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[signer]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, nonRepudiation
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF
openssl rand -hex 8 > "$WORK/serial"

ca() { openssl ca -batch -notext -config "$WORK/ca.cnf" -startdate "$START" "$@" 2>/dev/null; }

openssl req -new -newkey rsa:2048 -nodes -config "$WORK/ca.cnf" \
  -subj "/C=DE/O=Pendrel Demo/CN=Pendrel Demo Root" -keyout "$WORK/root.key" -out "$WORK/root.csr" 2>/dev/null
ca -selfsign -keyfile "$WORK/root.key" -enddate "$ROOT_END" -extensions root \
  -in "$WORK/root.csr" -out "$WORK/root.pem"
openssl req -new -newkey rsa:2048 -nodes -config "$WORK/ca.cnf" \
  -subj "/C=DE/O=Pendrel Demo/CN=$SIGNER" -keyout "$WORK/signer.key" -out "$WORK/signer.csr" 2>/dev/null
ca -cert "$WORK/root.pem" -keyfile "$WORK/root.key" -enddate "$SIGNER_END" -extensions signer \
  -in "$WORK/signer.csr" -out "$WORK/signer.pem"

mkdir -p "$DIR/identities" "$DIR/roots" "$DIR/certs" "$DIR/crls"
cp "$WORK/root.pem" "$DIR/roots/demo-root.pem"
# The identity last: its presence marks a complete keychain.
cat "$WORK/signer.pem" "$WORK/signer.key" > "$WORK/identity.pem"
mv "$WORK/identity.pem" "$DIR/identities/signer.pem"
