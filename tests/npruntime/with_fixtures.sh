#!/usr/bin/env bash
# Runs a command with signing fixtures in a scratch folder: a keychain with a
# test root and signer ({fixtures}/keychain, exported as PENDREL_KEYCHAIN), the
# generated sample document ({fixtures}/sample.pdf) and picture
# ({fixtures}/seal.jpg). "{fixtures}" in the arguments names the folder; the
# folder is removed afterwards. No windows open (PENDREL_DIALOGS=none), no
# token module is loaded.
set -euo pipefail
SOURCE="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
FIXTURES="$(mktemp -d)"
trap 'rm -rf "$FIXTURES"' EXIT
"$SOURCE/scripts/make-keychain.sh" "$FIXTURES/keychain" "Pendrel Test Signer"
"$SOURCE/scripts/make-sample.py" "$FIXTURES/sample.pdf" "$FIXTURES/seal.jpg"
export PENDREL_KEYCHAIN="$FIXTURES/keychain" PENDREL_DIALOGS=none
export PENDREL_PKCS11_MODULES=""  # no tokens: the machine's p11-kit modules stay out
export TMPDIR="$FIXTURES/tmp"  # working files stay in the scratch folder
mkdir -p "$TMPDIR"
args=()
for a in "$@"; do args+=("${a//\{fixtures\}/$FIXTURES}"); done
"${args[@]}"
