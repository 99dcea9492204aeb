#!/usr/bin/env bash
# The browser demo: the sample document signed with the demo identity by a
# page served on 127.0.0.1, in Chromium with the Pendrel PDF extension, and
# the signed copy verified there. With --headless, no window: the page is
# driven without a display and a screenshot is written.
# Everything the browser gets (profile, native host registration) lives under
# BUILD/browser-demo: the user's own browser set-up is left alone.
# usage: browser-demo.sh BUILD [--headless]
set -euo pipefail
BUILD="$(realpath "$1")"
HEADLESS="${2:-}"
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
KEYCHAIN="${HOME}/.local/share/pendrel/demo-keychain"
OUT="$BUILD/browser-demo"
EXTENSION="$ROOT/browser/extension"

"$ROOT/scripts/make-keychain.sh" "$KEYCHAIN"
rm -rf "$OUT"
mkdir -p "$OUT/site" "$OUT/home"
"$ROOT/scripts/make-sample.py" "$OUT/site/sample.pdf" "$OUT/seal.jpg"
cp "$ROOT/browser/demo/index.html" "$ROOT/browser/page/pendrel.js" "$OUT/site/"

# The page's server, on a free loopback port.
python3 - "$OUT/site" "$OUT/port" <<'PY' &
import functools, http.server, os, sys
class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Quiet, directory=sys.argv[1]))
with open(sys.argv[2] + ".tmp", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(sys.argv[2] + ".tmp", sys.argv[2])
server.serve_forever()
PY
SERVER=$!
trap 'kill "$SERVER" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$OUT/port" ] && break; sleep 0.05; done
ORIGIN="http://127.0.0.1:$(cat "$OUT/port")"

# The bridge with the demo keychain. Without a display nobody can be asked
# to allow the page, so a headless run allows the demo's own origin.
ALLOW=""
[ "$HEADLESS" = "--headless" ] && ALLOW="export PENDREL_ALLOWED_ORIGINS='$ORIGIN'"
cat > "$OUT/bridge-starter.sh" <<STARTER
#!/bin/sh
export PENDREL_KEYCHAIN='$KEYCHAIN'
$ALLOW
exec '$BUILD/pendrel-bridge' "\$@"
STARTER
chmod +x "$OUT/bridge-starter.sh"
HOME="$OUT/home" XDG_CONFIG_HOME="$OUT/home/.config" \
  "$ROOT/scripts/browser-setup.sh" "$OUT/bridge-starter.sh" --quiet

echo "Pendrel PDF browser demo: $ORIGIN/ signs sample.pdf with the demo identity"
if [ "$HEADLESS" = "--headless" ]; then
  NODE_PATH="$BUILD/node/node_modules" node "$ROOT/scripts/browser-demo.js" \
    "$ORIGIN/index.html?auto" "$OUT/home" "$OUT/screenshot.png"
else
  chromium --user-data-dir="$OUT/home/.config/chromium" --no-first-run --no-default-browser-check \
    --load-extension="$EXTENSION" --disable-extensions-except="$EXTENSION" "$ORIGIN/index.html?auto"
fi
