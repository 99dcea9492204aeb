#!/usr/bin/env bash
# The sign and verify page scripts of the command line, run as ./pendrel runs
# them, on the fixtures of with_fixtures.sh.
# usage: cli_sign_verify.sh HOST PLUGIN SCRIPTS-FOLDER FIXTURES-FOLDER
set -uo pipefail
HOST=("$(realpath "$1")" --plugin "$(realpath "$2")")
SCRIPTS="$(realpath "$3")"
DIR="$4"
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

# expect STATUS OUTPUT-PATTERN COMMAND...: exit status and a line of output.
expect() {
  local status="$1" pattern="$2"
  shift 2
  local out
  out="$("$@" 2>&1)"
  local rc=$?
  [ "$rc" -eq "$status" ] || fail "exit $rc (expected $status): $* -> $out"
  [ -z "$pattern" ] || grep -qE -- "$pattern" <<<"$out" || fail "no /$pattern/ in output of $*: $out"
}

sign() { "${HOST[@]}" "$SCRIPTS/sign.js" "$@"; }
verify() { "${HOST[@]}" "$SCRIPTS/verify.js" "$@"; }

SIGNER_SHA1="$(openssl x509 -in "$PENDREL_KEYCHAIN/identities/signer.pem" -noout -fingerprint -sha1 |
  sed 's/.*=//; s/://g')"

# Visible signature with text and picture, then an invisible one on top.
expect 0 "signed" sign "$DIR/sample.pdf" "$DIR/one.pdf" --subject "Pendrel Test Signer" --reason "Checked" \
  --location "Bench" --contact "me@example.org" --field Visible --visible 1,254,500,800,250 \
  --image "$DIR/seal.jpg" --text 'Signed by $Subject\n$Time'
expect 0 "signed" sign "$DIR/one.pdf" "$DIR/two.pdf" --field Invisible --options 0 --hash "$SIGNER_SHA1"
# One line per signature: field, status, signer, UTC time, revision, error.
TAB=$'\t'
TIME='[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z'
expect 0 "^Visible${TAB}[01X]{2}1[01X]${TAB}.*Pendrel Test Signer.*${TAB}${TIME}${TAB}-?[0-9]+${TAB}-?[0-9]+$" \
  verify "$DIR/two.pdf"
expect 0 "^Invisible${TAB}" verify "$DIR/two.pdf" --options 0
[ "$(verify "$DIR/two.pdf" | grep -c "$TAB")" -eq 2 ] || fail "two signature lines expected"

# Bare file names are in the current folder, as on any command line.
(cd "$DIR" && expect 0 "signed" sign sample.pdf bare.pdf --subject "Pendrel Test Signer" &&
  [ -s bare.pdf ] && expect 0 "^Signature" verify bare.pdf) || fail "bare file names"

# An independent verifier accepts both signatures.
if command -v pdfsig >/dev/null; then
  valid="$(pdfsig "$DIR/two.pdf" 2>&1 | grep -c "Signature is Valid")"
  [ "$valid" -eq 2 ] || fail "pdfsig found $valid valid signature(s): $(pdfsig "$DIR/two.pdf" 2>&1)"
fi

# Failures: no signature, no certificate, bad arguments, missing input.
expect 1 "" verify "$DIR/sample.pdf"
expect 1 "no signing certificate" sign "$DIR/sample.pdf" "$DIR/x.pdf" --subject "Nobody Known"
[ ! -e "$DIR/x.pdf" ] || fail "a failed signing left $DIR/x.pdf"
expect 1 "give --subject NAME or --hash HEX" sign "$DIR/sample.pdf" "$DIR/x.pdf"
expect 1 "usage" sign "$DIR/sample.pdf"
expect 1 "unknown option" sign "$DIR/sample.pdf" "$DIR/x.pdf" --colour red
expect 1 "PAGE,X,Y,W,H" sign "$DIR/sample.pdf" "$DIR/x.pdf" --visible 1,2,3
expect 1 "cannot load" sign "$DIR/missing.pdf" "$DIR/x.pdf"
expect 1 "cannot load" verify "$DIR/missing.pdf"
expect 1 "usage" verify

[ "$failures" -eq 0 ] || exit 1
echo PASS
