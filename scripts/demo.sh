#!/usr/bin/env bash
# The demo: a keychain with a demo root and signer (made once), a generated
# sample document signed with a visible signature through the plug-in's
# page scripts, and the verification of the signed copy.
set -euo pipefail
BUILD="$1"
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
KEYCHAIN="${HOME}/.local/share/pendrel/demo-keychain"
OUT="$BUILD/demo"

"$ROOT/scripts/make-keychain.sh" "$KEYCHAIN"
mkdir -p "$OUT"
"$ROOT/scripts/make-sample.py" "$OUT/sample.pdf" "$OUT/seal.jpg"
rm -f "$OUT/sample-signed.pdf"

export PENDREL_KEYCHAIN="$KEYCHAIN"
HOST=("$BUILD/pendrel-host")
echo "Pendrel PDF demo: signing $OUT/sample.pdf with the demo identity"
"${HOST[@]}" "$ROOT/scripts/sign.js" "$OUT/sample.pdf" "$OUT/sample-signed.pdf" \
  --subject "Pendrel Demo Signer" --reason "Demonstration" --location "Pendrel demo" \
  --field DemoSignature --visible "1,254,500,900,250" --image "$OUT/seal.jpg" \
  --text 'Signed by $Subject\n$Time'
echo "Verifying $OUT/sample-signed.pdf:"
echo -e "field\tstatus\tsigner\tsigning time\trevision\terror\tverdict"
"${HOST[@]}" "$ROOT/scripts/verify.js" "$OUT/sample-signed.pdf"
