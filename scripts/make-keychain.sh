#!/usr/bin/env bash
# Makes a keychain folder with a root authority (roots/) and a signing
# identity it issued (identities/, certificate and unencrypted key in one PEM
# file), for the demo and for tests.
# usage: make-keychain.sh FOLDER [SIGNER-COMMON-NAME]
set -euo pipefail
DIR="$1"
SIGNER="${2:-Pendrel Demo Signer}"
[ -e "$DIR/identities/signer.pem" ] && exit 0

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
umask 077

cat > "$WORK/ext.cnf" <<CNF
[req]
distinguished_name = dn
[dn]
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

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
  -subj "/C=DE/O=Pendrel Demo/CN=Pendrel Demo Root" \
  -config "$WORK/ext.cnf" -extensions root \
  -keyout "$WORK/root.key" -out "$WORK/root.pem" 2>/dev/null
openssl req -new -newkey rsa:2048 -nodes -sha256 \
  -subj "/C=DE/O=Pendrel Demo/CN=$SIGNER" \
  -keyout "$WORK/signer.key" -out "$WORK/signer.csr" 2>/dev/null
openssl x509 -req -in "$WORK/signer.csr" -CA "$WORK/root.pem" -CAkey "$WORK/root.key" \
  -CAcreateserial -sha256 -days 1825 -extfile "$WORK/ext.cnf" -extensions signer \
  -out "$WORK/signer.pem" 2>/dev/null

mkdir -p "$DIR/identities" "$DIR/roots" "$DIR/certs" "$DIR/crls"
cp "$WORK/root.pem" "$DIR/roots/demo-root.pem"
# The identity last: its presence marks a complete keychain.
cat "$WORK/signer.pem" "$WORK/signer.key" > "$WORK/identity.pem"
mv "$WORK/identity.pem" "$DIR/identities/signer.pem"
