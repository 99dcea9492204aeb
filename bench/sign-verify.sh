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

# A PDF 1.4 of about $1 MB: one page and one stream of incompressible bytes.
make_pdf() {
    python3 - "$1" "$2" <<'PY'
import os, sys
size, path = int(sys.argv[1]) * 1024 * 1024, sys.argv[2]
with open(path, "wb") as f:
    offsets = []
    def obj(num, body):
        offsets.append(f.tell())
        f.write(b"%d 0 obj\n" % num + body + b"\nendobj\n")
    f.write(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    obj(1, b"<</Type/Catalog/Pages 2 0 R>>")
    obj(2, b"<</Type/Pages/Kids[3 0 R]/Count 1>>")
    obj(3, b"<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Resources<<>>>>")
    offsets.append(f.tell())
    f.write(b"4 0 obj\n<</Length %d>>\nstream\n" % size)
    left = size
    while left > 0:
        piece = min(left, 1 << 20)
        f.write(os.urandom(piece))
        left -= piece
    f.write(b"\nendstream\nendobj\n")
    xref = f.tell()
    f.write(b"xref\n0 5\n0000000000 65535 f \n")
    for o in offsets:
        f.write(b"%010d 00000 n \n" % o)
    f.write(b"trailer\n<</Size 5/Root 1 0 R>>\nstartxref\n%d\n%%%%EOF\n" % xref)
PY
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
