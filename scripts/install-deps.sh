#!/usr/bin/env bash
# The one list of Debian packages the project needs to build, test and run.
# Idempotent and quiet: installs only what is missing, updating the package
# lists first only then. With a build folder, also the pinned npm packages
# the browser tests use, into BUILD/node (never into the source tree).
# usage: install-deps.sh [BUILD]
set -euo pipefail
BUILD_DIR="${1:-}"

PACKAGES=(
  # build
  build-essential cmake pkg-config
  # the sanitizer and fuzz builds of ./pendrel test (clang with its sanitizer and libFuzzer runtimes)
  clang libclang-rt-14-dev
  # libraries
  libmupdf-dev libmujs-dev libgumbo-dev libopenjp2-7-dev libjbig2dec0-dev libjpeg-dev
  libfreetype-dev libharfbuzz-dev zlib1g-dev
  libssl-dev libcurl4-openssl-dev libldap-dev liburiparser-dev libb64-dev libutfcpp-dev
  libboost-dev libboost-filesystem-dev libboost-thread-dev libboost-chrono-dev
  libpango1.0-dev libcairo2-dev libgtk-3-dev duktape-dev
  # the native-messaging bridge's JSON
  nlohmann-json3-dev
  # tokens and smart cards: libp11 over PKCS#11 modules, p11-kit's proxy and headers
  libp11-dev libp11-kit-dev p11-kit-modules
  # fonts the drawing and its tests use ("Arial" resolves to Liberation Sans)
  fontconfig fonts-dejavu-core fonts-liberation
  # tests and independent verifiers
  libgtest-dev libgmock-dev
  poppler-utils qpdf mupdf-tools ghostscript libnss3-tools openssl locales
  xvfb xfonts-base xauth xdotool x11-utils slapd ldap-utils python3 xdg-utils valgrind
  # producers of the real-document corpus (tests/corpus)
  libreoffice-writer-nogui chromium groff texlive-binaries texlive-base
  # benchmarks (bench/)
  time
  # a software token and the tools that fill it
  softhsm2 opensc
  # the browsers the extension and the page library are tested in, and what drives them
  chromium firefox-esr nodejs
)
# npm comes with some builds of nodejs; Debian's nodejs needs its own package.
command -v npm >/dev/null 2>&1 || PACKAGES+=(npm)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq >/dev/null
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# npm packages: exactly the versions of the lock file, and no browser download
# (the tests drive Debian's browsers).
if [ -n "$BUILD_DIR" ]; then
  SRC="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/browser"
  NODE_DIR="$BUILD_DIR/node"
  # The stamp is the lock file of the last install that finished.
  if ! cmp -s "$SRC/package-lock.json" "$NODE_DIR/installed.lock"; then
    echo "Installing the browser tests' npm packages into $NODE_DIR" >&2
    mkdir -p "$NODE_DIR"
    rm -f "$NODE_DIR/installed.lock"
    cp "$SRC/package.json" "$SRC/package-lock.json" "$NODE_DIR/"
    (cd "$NODE_DIR" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error >/dev/null)
    cp "$SRC/package-lock.json" "$NODE_DIR/installed.lock"
  fi
fi
