#!/bin/sh
# Wall time and peak memory of signing and verifying PDF 1.4 documents of 1,
# 10 and 100 MB through the engine, beside the lower bounds measured on the
# same files in the same run: cp plus a detached "openssl cms -sign" for
# signing, "openssl cms -verify" of a detached message for verifying.
#
#   bench/sign-verify.sh [build-folder]      (default: build)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
bench=$build/bench/pendrel-bench
[ -x "$bench" ] || { echo "build the pendrel-bench target first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" \
    -subj "/CN=Pendrel Bench Signer" -days 2 2>/dev/null
mkdir -p "$work/keychain/identities" "$work/keychain/roots" "$work/keychain/certs" "$work/keychain/crls"
export PENDREL_KEYCHAIN="$work/keychain"

# A PDF 1.4 of about $1 MB at $2.
make_pdf() {
    python3 "$root/bench/make-pdf.py" "$1" "$2"
}

# "seconds peak-KiB" of a command.
measure() {
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" || {
        echo "failed: $*" >&2; cat "$work/err" >&2; exit 1; }
    cat "$work/time"
}

printf "%-6s %-22s %10s %12s\n" size operation "wall (s)" "peak (MiB)"
for mb in 1 10 100; do
    pdf="$work/doc-$mb.pdf"
    make_pdf "$mb" "$pdf"
    sync

    set -- $(measure "$bench" sign "$pdf" "$work/cert.pem" "$work/key.pem" "$work/signed-$mb.pdf")
    sign_t=$1 sign_m=$2
    set -- $(measure sh -c "cp '$pdf' '$work/copy.pdf' && openssl cms -sign -binary -in '$work/copy.pdf' \
        -signer '$work/cert.pem' -inkey '$work/key.pem' -outform DER -out '$work/cms.der' -md sha256")
    bound_sign_t=$1 bound_sign_m=$2

    set -- $(measure "$bench" verify "$work/signed-$mb.pdf")
    verify_t=$1 verify_m=$2
    set -- $(measure openssl cms -verify -binary -noverify -inform DER -in "$work/cms.der" \
        -content "$work/copy.pdf" -out /dev/null)
    bound_verify_t=$1 bound_verify_m=$2

    for row in "sign (engine)|$sign_t|$sign_m" "sign (cp + openssl)|$bound_sign_t|$bound_sign_m" \
               "verify (engine)|$verify_t|$verify_m" "verify (openssl)|$bound_verify_t|$bound_verify_m"; do
        IFS='|' read -r what t m <<ROW
$row
ROW
        printf "%-6s %-22s %10s %12.1f\n" "${mb}MB" "$what" "$t" "$(echo "$m / 1024" | bc -l)"
    done
    rm -f "$pdf" "$work/signed-$mb.pdf" "$work/copy.pdf" "$work/cms.der"
done
