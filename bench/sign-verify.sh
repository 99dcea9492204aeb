#!/bin/sh
# Wall time and peak memory of what a page does with PDF 1.4 documents of 1,
# 10 and 100 MB, beside the lower bounds measured on the same files in the
# same run: cp plus a detached "openssl cms -sign" for signing, "openssl cms
# -verify" of a detached message for verifying, and pdfsig and "mutool sign
# -v" on the same signed files. Then a document with 20 signatures: verify
# time per signature.
#
# Rows "(engine)" drive the engine directly (pendrel-bench); rows "(page)"
# run bench/page.js in pendrel-host through the whole plug-in, one operation
# per process, timed inside the page, so that the peak memory shown is that
# operation's. "ratio" is the median over the runs of the row's time over
# its bound's, measured just before it; "MB/s" is document bytes per second
# of the best run. Times are the best of BENCH_REPEAT runs (default 5);
# "cpu" is the processor time of that run's whole process (a page row's
# includes the host's start and what the page does before the timed part),
# a figure that a busy machine disturbs less than the wall time.
#
#   bench/sign-verify.sh [build-folder] [sizes in MB...]   (default: build 1 10 100)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
[ $# -gt 0 ] && shift
sizes=${*:-1 10 100}
bench=$build/bench/pendrel-bench
host=$build/pendrel-host
for program in "$bench" "$host"; do
    [ -x "$program" ] || { echo "build the pendrel-bench and pendrel-host targets first" >&2; exit 1; }
done

work=$(mktemp -d)
server=
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

subject="Pendrel Bench Signer"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" \
    -subj "/CN=$subject" -days 2 2>/dev/null
mkdir -p "$work/keychain/identities" "$work/keychain/roots" "$work/keychain/certs" "$work/keychain/crls"
cat "$work/cert.pem" "$work/key.pem" > "$work/keychain/identities/bench.pem"
export PENDREL_KEYCHAIN="$work/keychain"
# No log folder in this home: the plug-in does not log. Working files go here.
mkdir -p "$work/home" "$work/tmp"
export HOME="$work/home" TMPDIR="$work/tmp" PENDREL_DIALOGS=none

# A PDF 1.4 of about $1 MB in $2/doc.pdf, with its Base64 pieces for feeding.
make_pdf() {
    python3 "$root/bench/make-pdf.py" "$1" "$2"
}

# "seconds peak-KiB ratio" of a command: the best time of $repeat runs (the
# machine may be shared), the largest peak, and, when $bound names a
# command line, the median over the runs of the command's time over the
# bound's time measured just before it (so that both meet the same load;
# "-" without a bound). The standard output of the best run goes to
# $work/out. With from_page=1 the seconds are what the page printed first;
# $before is run before each run. All three are set in the command
# substitution that measures.
repeat=${BENCH_REPEAT:-5}
from_page=0 before=: bound=
run_once() {  # sets t (seconds), m (peak KiB) and c (processor seconds) of one run of "$@"
    start=$(date +%s%N)
    /usr/bin/time -f "%M %U %S" -o "$work/time" "$@" >"$work/run" 2>"$work/err" || {
        echo "failed: $*" >&2; cat "$work/err" >&2; exit 1; }
    end=$(date +%s%N)
    read -r m user system < "$work/time"
    c=$(echo "$user + $system" | bc -l | sed 's/^\./0./')
    t=$(echo "scale=4; ($end - $start) / 1000000000" | bc -l | sed 's/^\./0./')
    [ "$from_page" = 1 ] && t=$(cut -d' ' -f1 "$work/run")
    return 0
}
measure() {
    best= peak=0 ratios= cpu=
    for _ in $(seq "$repeat"); do
        eval "$before"
        if [ -n "$bound" ]; then
            page_run=$from_page from_page=0
            run_once sh -c "$bound"
            from_page=$page_run bound_t=$t
        fi
        run_once "$@"
        [ "$m" -gt "$peak" ] && peak=$m
        [ -n "$bound" ] && ratios="$ratios $(echo "scale=4; $t / $bound_t" | bc -l)"
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then
            best=$t cpu=$c
            cp "$work/run" "$work/out"
        fi
    done
    median=-
    [ -n "$bound" ] && median=$(printf '%s\n' $ratios | sort -n | sed -n "$(((repeat + 1) / 2))p" |
        xargs printf '%.2f')
    echo "$best $peak $median $cpu"
}

# "page-seconds peak-KiB ratio" of one page operation in pendrel-host.
page() {
    from_page=1
    measure "$host" "$root/bench/page.js" "$@"
}

row() {  # size operation seconds peak-KiB ratio-or-rate processor-seconds
    printf "%-6s %-30s %9s %11.1f %10s %9s\n" "$1" "$2" "$3" "$(echo "$4 / 1024" | bc -l)" "$5" "$6"
}
rate() { echo "scale=0; $1 / $2 / 1" | bc -l; }  # MB and seconds

# A loopback HTTP server over the work folder, for the downloads.
python3 -u -m http.server --bind 127.0.0.1 0 --directory "$work" >"$work/server.log" 2>&1 &
server=$!
port=
for _ in $(seq 100); do
    port=$(sed -n 's/.* port \([0-9]*\).*/\1/p' "$work/server.log" | head -n1)
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "the HTTP server did not start" >&2; exit 1; }

printf "%-6s %-30s %9s %11s %10s %9s\n" size operation "wall (s)" "peak (MiB)" "ratio|MB/s" "cpu (s)"
for mb in $sizes; do
    dir="$work/doc-$mb"
    mkdir -p "$dir"
    make_pdf "$mb" "$dir"
    pdf="$dir/doc.pdf"
    docmb=$(echo "$(stat -c %s "$pdf") / 1048576" | bc -l)
    sync

    # The bounds, for each run of what is compared with them.
    sign_bound="cp '$pdf' '$work/copy.pdf' && openssl cms -sign -binary -in '$work/copy.pdf' \
        -signer '$work/cert.pem' -inkey '$work/key.pem' -outform DER -out '$work/cms.der' -md sha256"
    verify_bound="openssl cms -verify -binary -noverify -inform DER -in '$work/cms.der' \
        -content '$work/copy.pdf' -out /dev/null"

    set -- $(measure sh -c "$sign_bound")
    row "${mb}MB" "sign (cp + openssl)" "$1" "$2" - "$4"
    set -- $(bound=$sign_bound; measure "$bench" sign "$pdf" "$work/cert.pem" "$work/key.pem" "$dir/signed.pdf")
    row "${mb}MB" "sign (engine)" "$1" "$2" "$3" "$4"
    set -- $(bound=$sign_bound before='rm -f "$dir/page-signed.pdf"'
             page sign "$pdf" "$dir/page-signed.pdf" "$subject")
    row "${mb}MB" "sign + saveFile, new (page)" "$1" "$2" "$3" "$4"
    set -- $(bound=$sign_bound; page sign "$pdf" "$dir/page-signed.pdf" "$subject")
    row "${mb}MB" "sign + saveFile, exists (page)" "$1" "$2" "$3" "$4"

    set -- $(measure sh -c "$verify_bound")
    row "${mb}MB" "verify (openssl)" "$1" "$2" - "$4"
    set -- $(bound=$verify_bound; measure "$bench" verify "$dir/signed.pdf")
    row "${mb}MB" "verify (engine)" "$1" "$2" "$3" "$4"
    set -- $(bound=$verify_bound; page verify "$dir/page-signed.pdf")
    row "${mb}MB" "verify (page)" "$1" "$2" "$3" "$4"
    set -- $(bound=$verify_bound; measure pdfsig "$dir/signed.pdf")
    row "${mb}MB" "verify (pdfsig)" "$1" "$2" "$3" "$4"
    set -- $(bound=$verify_bound; measure mutool sign -v "$dir/signed.pdf")
    row "${mb}MB" "verify (mutool sign -v)" "$1" "$2" "$3" "$4"

    set -- $(page feed "$dir")
    row "${mb}MB" "feedBase64Data 64 KiB (page)" "$1" "$2" "$(rate "$docmb" "$1")" "$4"
    set -- $(page read "$pdf" "$subject")
    row "${mb}MB" "readStreamData (page)" "$1" "$2" "$(rate "$docmb" "$1")" "$4"
    set -- $(page load "http://127.0.0.1:$port/doc-$mb/doc.pdf")
    row "${mb}MB" "file = http URL (page)" "$1" "$2" "$(rate "$docmb" "$1")" "$4"
    rm -rf "$dir" "$work/copy.pdf" "$work/cms.der"
    rm -f "$work/tmp/"*
done

# 20 signatures on the 1 MB document: verify time per signature.
dir="$work/many"
mkdir -p "$dir"
make_pdf 1 "$dir"
cp "$dir/doc.pdf" "$dir/signed.pdf"
for i in $(seq 20); do
    "$bench" sign "$dir/signed.pdf" "$work/cert.pem" "$work/key.pem" "$dir/next.pdf" >/dev/null
    mv "$dir/next.pdf" "$dir/signed.pdf"
done
for what in engine page pdfsig mutool; do
    case $what in
        engine) set -- $(measure "$bench" verify "$dir/signed.pdf");;
        page) set -- $(page verify "$dir/signed.pdf");;
        pdfsig) set -- $(measure pdfsig "$dir/signed.pdf");;
        mutool) set -- $(measure mutool sign -v "$dir/signed.pdf");;
    esac
    row "20 sig" "verify ($what), per signature" "$(echo "scale=4; $1 / 20" | bc -l | sed 's/^\./0./')" "$2" - "$4"
done
