#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test: once in the release
# build, once under AddressSanitizer and UndefinedBehaviorSanitizer (which
# also runs the fuzz targets for a bounded time).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

scripts/build.sh release
ctest --test-dir build --output-on-failure -j "$jobs"

scripts/build.sh sanitize
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"
