#!/usr/bin/env bash
# Registers pendrel-bridge as the native host of the Pendrel PDF extension
# for the current user, in Chromium and in Firefox, for that extension only,
# and says how to load the extension.
# usage: browser-setup.sh BRIDGE [--quiet]
#   BRIDGE  the pendrel-bridge program (or a program that starts it)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
EXTENSION="$ROOT/browser/extension"
HOST_NAME="org.pendrel.bridge"
FIREFOX_ID="pendrel-pdf@pendrel.invalid"

[ $# -ge 1 ] || { echo "usage: browser-setup.sh BRIDGE [--quiet]" >&2; exit 2; }
BRIDGE="$(realpath "$1")"
QUIET="${2:-}"
[ -x "$BRIDGE" ] || { echo "browser-setup: $1 is not a program" >&2; exit 1; }

# The Chromium id follows from the manifest's public key: the first 16 bytes
# of its SHA-256, one letter a-p per half byte.
CHROMIUM_ID="$(python3 - "$EXTENSION/manifest.json" <<'PY'
import base64, hashlib, json, sys
key = base64.b64decode(json.load(open(sys.argv[1]))["key"])
print("".join("abcdefghijklmnop"[int(c, 16)] for c in hashlib.sha256(key).hexdigest()[:32]))
PY
)"

# Writes a manifest next to its final name first, so that a browser never
# reads half of one.
write_manifest() {
  local dir="$1" allowed="$2"
  mkdir -p "$dir"
  python3 - "$dir/$HOST_NAME.json.tmp" "$BRIDGE" "$allowed" "$HOST_NAME" <<'PY'
import json, sys
out, path, allowed, name = sys.argv[1:5]
manifest = {"name": name, "description": "Pendrel PDF: signs and verifies PDF documents for web pages",
            "path": path, "type": "stdio"}
key, value = allowed.split("=", 1)
manifest[key] = [value]
with open(out, "w") as f:
    json.dump(manifest, f, indent=2)
    f.write("\n")
PY
  mv "$dir/$HOST_NAME.json.tmp" "$dir/$HOST_NAME.json"
  [ -n "$QUIET" ] || echo "registered $dir/$HOST_NAME.json"
}

CONFIG="${XDG_CONFIG_HOME:-$HOME/.config}"
write_manifest "$CONFIG/chromium/NativeMessagingHosts" "allowed_origins=chrome-extension://$CHROMIUM_ID/"
write_manifest "$HOME/.mozilla/native-messaging-hosts" "allowed_extensions=$FIREFOX_ID"

[ -n "$QUIET" ] && exit 0
cat <<TEXT

The native host $HOST_NAME runs $BRIDGE.
Load the extension (folder $EXTENSION):
  Chromium: open chrome://extensions, switch on "Developer mode", "Load unpacked", choose the folder
            (or start: chromium --load-extension=$EXTENSION); its id is $CHROMIUM_ID
  Firefox:  open about:debugging#/runtime/this-firefox, "Load Temporary Add-on...", choose
            $EXTENSION/manifest.json; its id is $FIREFOX_ID
Pages then use browser/page/pendrel.js: const plugin = await Pendrel.connect();
TEXT
