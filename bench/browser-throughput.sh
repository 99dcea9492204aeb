#!/bin/sh
# Time of a 20 MiB document fed up from a page in headless Chromium, signed,
# and its signed copy read back down, through pendrel.js, the extension and
# pendrel-bridge (goal: up and down together under 5 s). Runs the browser
# test's 20 MiB case BENCH_REPEAT times (default 3) and prints each run's
# split: up, sign, down.
#
#   bench/browser-throughput.sh [build-folder] [chromium|firefox]
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
browser=${2:-chromium}
for program in "$build/pendrel-bridge" "$build/pendrel-host"; do
    [ -x "$program" ] || { echo "build the pendrel-bridge, pendrel-host and pendrelpdf targets first" >&2; exit 1; }
done
[ -f "$build/node/node_modules/puppeteer-core/package.json" ] ||
    { echo "install the npm packages first: scripts/install-deps.sh $build" >&2; exit 1; }

runs=${BENCH_REPEAT:-3}
i=0
while [ "$i" -lt "$runs" ]; do
    i=$((i + 1))
    NODE_PATH="$build/node/node_modules" PENDREL_RESOURCE_DIR="$build/resources" \
        node "$root/tests/browser/run.js" "$browser" --bridge "$build/pendrel-bridge" --host "$build/pendrel-host" \
        --case "20 MB up" | grep -E "20 MiB|failed"
done
