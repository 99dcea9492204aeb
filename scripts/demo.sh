#!/usr/bin/env bash
# The demo: what has been built so far.
set -euo pipefail
BUILD="$1"
echo "Pendrel PDF 1.2.27"
echo "Built in $BUILD:"
find "$BUILD" -maxdepth 3 -type f \( -name '*.a' -o -name '*.so' -o -name '*_tests' -o -name 'pendrel-host' \) \
  -printf '  %P\n' | sort
