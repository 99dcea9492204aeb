#!/usr/bin/env bash
# The sign and verify page scripts of the command line, run as ./pendrel runs
# them, on the fixtures of with_fixtures.sh: exit statuses, what each line
# says, and errors as one line on standard error.
# usage: cli_sign_verify.sh HOST PLUGIN SCRIPTS-FOLDER FIXTURES-FOLDER
set -uo pipefail
HOST=("$(realpath "$1")" --plugin "$(realpath "$2")")
SCRIPTS="$(realpath "$3")"
DIR="$4"
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

# run COMMAND...: sets OUT, ERR and RC.
run() {
  "$@" >"$DIR/out" 2>"$DIR/err"
  RC=$?
  OUT="$(cat "$DIR/out")"
  ERR="$(cat "$DIR/err")"
}
# expect STATUS STDOUT-PATTERN COMMAND...: exit status and a line of standard output.
expect() {
  local status="$1" pattern="$2"
  shift 2
  run "$@"
  [ "$RC" -eq "$status" ] || fail "exit $RC (expected $status): $* -> $OUT $ERR"
  [ -z "$pattern" ] || grep -qE -- "$pattern" <<<"$OUT" || fail "no /$pattern/ in output of $*: $OUT"
}
# expect_error STATUS STDERR-LINE COMMAND...: exactly that one line on standard error.
expect_error() {
  local status="$1" line="$2"
  shift 2
  run "$@"
  [ "$RC" -eq "$status" ] || fail "exit $RC (expected $status): $* -> $ERR"
  [ "$ERR" = "$line" ] || fail "standard error of $* is not the line '$line': $ERR"
}
# expect_usage STATUS COMMAND...: the usage on standard error, nothing else.
expect_usage() {
  local status="$1"
  shift
  run "$@"
  [ "$RC" -eq "$status" ] || fail "exit $RC (expected $status): $* -> $ERR"
  grep -q "^usage: " <<<"$ERR" || fail "no usage on standard error of $*: $ERR"
  [ -z "$OUT" ] || fail "standard output of $*: $OUT"
}

sign() { "${HOST[@]}" "$SCRIPTS/sign.js" "$@"; }
verify() { "${HOST[@]}" "$SCRIPTS/verify.js" "$@"; }
# Replaces the first occurrence of one byte string by another of the same length.
patch() { python3 - "$@" <<'PY'
import re, sys
path, out, pattern, replacement = sys.argv[1:5]
data = open(path, "rb").read()
match = re.search(pattern.encode(), data)
assert match, pattern
new = replacement.encode().ljust(match.end() - match.start())
open(out, "wb").write(data[:match.start()] + new + data[match.end():])
PY
}

SIGNER_SHA1="$(openssl x509 -in "$PENDREL_KEYCHAIN/identities/signer.pem" -noout -fingerprint -sha1 |
  sed 's/.*=//; s/://g')"
TAB=$'\t'
TIME='[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z'

# Visible signature with text and picture, then an invisible one on top.
expect 0 "^signed " sign "$DIR/sample.pdf" "$DIR/one.pdf" --subject "Pendrel Test Signer" --reason "Checked" \
  --location "Bench" --contact "me@example.org" --field Visible --visible 1,254,500,800,250 \
  --image "$DIR/seal.jpg" --text 'Signed by $Subject\n$Time'
expect 0 "^signed " sign "$DIR/one.pdf" "$DIR/two.pdf" --field Invisible --options 0 --hash "$SIGNER_SHA1"
# One line per signature: field, status, signer, UTC time, revision, error, verdict.
expect 0 "^Visible${TAB}111X${TAB}.*Pendrel Test Signer.*${TAB}${TIME}${TAB}1${TAB}1${TAB}valid$" \
  verify "$DIR/two.pdf"
expect 0 "^Invisible${TAB}111X${TAB}.*${TAB}2${TAB}1${TAB}valid$" verify "$DIR/two.pdf" --options 0
[ "$(verify "$DIR/two.pdf" | grep -c "$TAB")" -eq 2 ] || fail "two signature lines expected"
[ -z "$ERR" ] || fail "verify of a valid document wrote to standard error: $ERR"

# Bare file names are in the current folder, as on any command line.
(cd "$DIR" && expect 0 "^signed" sign sample.pdf bare.pdf --subject "Pendrel Test Signer" &&
  [ -s bare.pdf ] && expect 0 "^Signature" verify bare.pdf) || fail "bare file names"

# An independent verifier accepts both signatures.
if command -v pdfsig >/dev/null; then
  valid="$(pdfsig "$DIR/two.pdf" 2>&1 | grep -c "Signature is Valid")"
  [ "$valid" -eq 2 ] || fail "pdfsig found $valid valid signature(s): $(pdfsig "$DIR/two.pdf" 2>&1)"
fi

# Revocation asked for, but the certificate names no distribution point: the
# copy is signed all the same, and the user is told the test was passed over.
expect 0 "^signed .*revocation test passed over" sign "$DIR/sample.pdf" "$DIR/unchecked.pdf" \
  --subject "Pendrel Test Signer" --options 8
[ -s "$DIR/unchecked.pdf" ] || fail "the signed copy was not kept"
expect 0 "${TAB}valid$" verify "$DIR/unchecked.pdf" --options 8

# Verification tells the truth: exit 1 and, per signature, what failed.
cp "$DIR/two.pdf" "$DIR/appended.pdf"
printf '%% a line added later\n' >>"$DIR/appended.pdf"
expect 1 "^Invisible${TAB}111X${TAB}.*${TAB}changed after signing: 1 later revision$" verify "$DIR/appended.pdf"
grep -qE "^Visible${TAB}.*${TAB}valid$" <<<"$OUT" || fail "the older signature is still valid: $OUT"
patch "$DIR/two.pdf" "$DIR/tampered.pdf" "/MediaBox \[0 0 595 842\]" "/MediaBox [0 0 595 843]"
expect 1 "^Visible${TAB}110X${TAB}.*signature broken: the signed bytes were changed" verify "$DIR/tampered.pdf"
patch "$DIR/one.pdf" "$DIR/no-time.pdf" "/M *\(D:[0-9+\-Z']+\)" ""
expect 1 "^Visible${TAB}110X${TAB}[^${TAB}]*${TAB}unknown${TAB}" verify "$DIR/no-time.pdf"
patch "$DIR/one.pdf" "$DIR/late.pdf" "/M *\(D:[0-9]{4}" "/M(D:2041"
expect 1 "^Visible${TAB}110X${TAB}[^${TAB}]*${TAB}2041-" verify "$DIR/late.pdf"
mkdir -p "$DIR/empty-keychain"
PENDREL_KEYCHAIN="$DIR/empty-keychain" expect 1 "${TAB}signer not trusted: " verify "$DIR/two.pdf"
expect 1 "^$DIR/sample.pdf: no signature$" verify "$DIR/sample.pdf"
# A field that is signed already is not signed again.
expect_error 1 "sign: signing failed: the field is signed already (error -66)" \
  sign "$DIR/two.pdf" "$DIR/again.pdf" --field Visible --subject "Pendrel Test Signer"
[ -e "$DIR/again.pdf" ] && fail "a refused signature left $DIR/again.pdf"

# A revoked signer: a keychain whose cached revocation list names it.
REV="$DIR/revoked"
mkdir -p "$REV/ca/issued" "$REV/keychain/identities" "$REV/keychain/roots" "$REV/keychain/certs" \
  "$REV/keychain/crls"
: >"$REV/ca/index.txt"
echo 1000 >"$REV/ca/serial"
cat >"$REV/ca/ca.cnf" <<CNF
[ca]
default_ca = rev
[rev]
dir = $REV/ca
database = $REV/ca/index.txt
new_certs_dir = $REV/ca/issued
serial = $REV/ca/serial
default_md = sha256
default_crl_days = 7
policy = anything
[anything]
commonName = supplied
[req]
distinguished_name = dn
[dn]
[root]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
[signer]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, nonRepudiation
CNF
START="$(date -u -d '1 day ago' +%Y%m%d%H%M%SZ)"
ca() { openssl ca -batch -notext -config "$REV/ca/ca.cnf" "$@" 2>/dev/null; }
openssl req -new -newkey rsa:2048 -nodes -config "$REV/ca/ca.cnf" -subj "/CN=Pendrel Revoking Root" \
  -keyout "$REV/ca/root.key" -out "$REV/ca/root.csr" 2>/dev/null
ca -selfsign -keyfile "$REV/ca/root.key" -startdate "$START" -days 30 -extensions root \
  -in "$REV/ca/root.csr" -out "$REV/keychain/roots/root.pem"
openssl req -new -newkey rsa:2048 -nodes -config "$REV/ca/ca.cnf" -subj "/CN=Pendrel Revoked Signer" \
  -keyout "$REV/ca/signer.key" -out "$REV/ca/signer.csr" 2>/dev/null
ca -cert "$REV/keychain/roots/root.pem" -keyfile "$REV/ca/root.key" -startdate "$START" -days 20 \
  -extensions signer -in "$REV/ca/signer.csr" -out "$REV/ca/signer.pem"
cat "$REV/ca/signer.pem" "$REV/ca/signer.key" >"$REV/keychain/identities/signer.pem"
ca -cert "$REV/keychain/roots/root.pem" -keyfile "$REV/ca/root.key" -revoke "$REV/ca/signer.pem"
# Issued an hour back: a list is current only once its issue time has passed,
# and the verification may run within the same second.
ca -cert "$REV/keychain/roots/root.pem" -keyfile "$REV/ca/root.key" -gencrl \
  -crl_lastupdate "$(date -u -d '-1 hour' +%Y%m%d%H%M%SZ)" -out "$REV/ca/crl.pem"
openssl crl -in "$REV/ca/crl.pem" -outform DER -out "$REV/keychain/crls/root.crl"
PENDREL_KEYCHAIN="$REV/keychain" expect 0 "^signed" sign "$DIR/sample.pdf" "$DIR/by-revoked.pdf" \
  --subject "Pendrel Revoked Signer"
PENDREL_KEYCHAIN="$REV/keychain" expect 1 "^Signature 1${TAB}..10${TAB}.*signer certificate revoked" \
  verify "$DIR/by-revoked.pdf"

# Errors read like those of other tools: one line naming the file and the
# cause; 2 for usage errors and documents that cannot be read.
mkdir -p "$DIR/folder.pdf"
echo "just text" >"$DIR/text.pdf"
patch "$DIR/sample.pdf" "$DIR/v30.pdf" "^%PDF-1\.[0-9]" "%PDF-3.0"
for cmd in sign verify; do
  extra=()
  [ "$cmd" = sign ] && extra=("$DIR/x.pdf" --subject "Pendrel Test Signer")
  expect_error 2 "$cmd: cannot read $DIR/missing.pdf: no such file" "$cmd" "$DIR/missing.pdf" "${extra[@]}"
  expect_error 2 "$cmd: cannot read $DIR/folder.pdf: is a folder" "$cmd" "$DIR/folder.pdf" "${extra[@]}"
  expect_error 2 "$cmd: $DIR/text.pdf: not a PDF document" "$cmd" "$DIR/text.pdf" "${extra[@]}"
  expect_error 2 "$cmd: $DIR/v30.pdf: PDF version 3.0 not supported" "$cmd" "$DIR/v30.pdf" "${extra[@]}"
  expect_usage 2 "$cmd"
  expect_usage 2 "$cmd" --colour red
  run "$cmd" --help
  [ "$RC" -eq 0 ] && grep -q "^usage: $cmd" <<<"$OUT" && [ -z "$ERR" ] || fail "$cmd --help: $RC $OUT $ERR"
done
[ ! -e "$DIR/x.pdf" ] || fail "a failed signing left $DIR/x.pdf"
expect_usage 2 sign "$DIR/sample.pdf"
expect_usage 2 sign "$DIR/sample.pdf" "$DIR/x.pdf" --visible 1,2,3
expect_usage 2 verify "$DIR/sample.pdf" --options many
expect_error 1 "sign: no signing certificate found in the keychain" \
  sign "$DIR/sample.pdf" "$DIR/x.pdf" --subject "Nobody Known"
expect_error 1 "sign: no signing certificate chosen (give --subject NAME or --hash HEX)" \
  sign "$DIR/sample.pdf" "$DIR/x.pdf"
[ ! -e "$DIR/x.pdf" ] || fail "a failed signing left $DIR/x.pdf"

[ "$failures" -eq 0 ] || exit 1
echo PASS
