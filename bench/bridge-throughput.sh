#!/bin/sh
# Throughput of the browser road without a browser: a document of SIZE MB
# (default 20) fed up to pendrel-bridge in 4 MiB Base64 pieces, signed with
# a keychain identity, and the signed copy read back down in gathered
# answers, by bench/bridge-client.py speaking the native-messaging frames.
# The copy is checked with pdfsig. The bridge's own split of its time
# (parsing the messages versus the plug-in's calls) is printed after it.
#
#   bench/bridge-throughput.sh [build-folder] [size-in-MB]
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
size=${2:-20}
bridge=$build/pendrel-bridge
[ -x "$bridge" ] || { echo "build the pendrel-bridge target first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

subject="Pendrel Bench Signer"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" \
    -subj "/CN=$subject" -days 2 2>/dev/null
mkdir -p "$work/keychain/identities" "$work/keychain/roots" "$work/keychain/certs" "$work/keychain/crls"
cat "$work/cert.pem" "$work/key.pem" > "$work/keychain/identities/bench.pem"
mkdir -p "$work/home" "$work/tmp"
export PENDREL_KEYCHAIN="$work/keychain" HOME="$work/home" TMPDIR="$work/tmp" PENDREL_DIALOGS=none
export PENDREL_BRIDGE_TIMES=1
# The client's page origin signs without being asked (there is no display to ask on).
export PENDREL_ALLOWED_ORIGINS="http://127.0.0.1:8000"

python3 "$root/bench/make-pdf.py" "$size" "$work"
python3 "$root/bench/bridge-client.py" "$bridge" "$work/doc.pdf" "$subject" "$work/signed.pdf" \
    2> "$work/bridge.err" || { cat "$work/bridge.err" >&2; exit 1; }
grep "pendrel-bridge: time" "$work/bridge.err" || true
pdfsig "$work/signed.pdf" | grep -q "Signature Validation: Signature is Valid." ||
    { echo "pdfsig does not accept the signed copy" >&2; exit 1; }
left=$(ls -A "$work/tmp")
[ -z "$left" ] || { echo "working files left behind: $left" >&2; exit 1; }
echo "pdfsig: the signature is valid; no working file left"
