#!/usr/bin/env bash
# Installs what is missing, builds the sanitizer trees (AddressSanitizer with
# UndefinedBehaviorSanitizer; ThreadSanitizer for the threaded code), the
# release tree and the fuzz targets when clang is there, and runs every
# test through ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

status=0
for preset in asan tsan release; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" || status=1
done

if command -v clang++ >/dev/null 2>&1; then
  echo "== fuzz"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz
  ctest --preset fuzz || status=1
else
  echo "== fuzz: clang++ is not installed; fuzz targets skipped"
fi
exit $status
