#!/bin/sh
# Wall time and peak memory of loading a 50 MB PDF 1.4 document through the
# engine: from a local file, and from a URL (an HTTP server on loopback), which
# the engine downloads into a working file first.
#
#   bench/download.sh [build-folder] [size-in-MB]      (defaults: build, 50)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mb=${2:-50}
bench=$build/bench/pendrel-bench
[ -x "$bench" ] || { echo "build the pendrel-bench target first" >&2; exit 1; }

work=$(mktemp -d)
server=
cleanup() { [ -z "$server" ] || kill "$server" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT INT TERM
mkdir "$work/serve" "$work/files"

python3 "$root/bench/make-pdf.py" "$mb" "$work/serve"

# A static file server on a free loopback port; it prints the port once it listens.
python3 -u - "$work/serve" >"$work/port" 2>/dev/null <<'PY' &
import functools, http.server, sys
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=sys.argv[1])
handler.log_message = lambda *args: None
httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
print(httpd.server_address[1])
httpd.serve_forever()
PY
server=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")
[ -n "$port" ] || { echo "the file server did not start" >&2; exit 1; }

# "seconds peak-KiB" of a command.
measure() {
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" || {
        echo "failed: $*" >&2; cat "$work/err" >&2; exit 1; }
    cat "$work/time"
}

printf "%-6s %-18s %10s %12s\n" size source "wall (s)" "peak (MiB)"
for row in "local file|$work/serve/doc.pdf" "URL (HTTP)|http://127.0.0.1:$port/doc.pdf"; do
    what=${row%%|*}
    source=${row#*|}
    set -- $(measure "$bench" load "$source" "$work/files")
    printf "%-6s %-18s %10s %12.1f\n" "${mb}MB" "$what" "$1" "$(echo "$2 / 1024" | bc -l)"
    rm -f "$work/files"/PDFF*.pdf
done
