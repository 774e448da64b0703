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
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Fontconfig (under Pango's text) keeps its caches until the process ends.
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
# GTK, GLib and fontconfig keep caches for the life of a process, which the
# leak checker would report from every program that opens a window; those
# run with leak checking off, everything else with it on.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs" -LE e2e
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs" -L e2e
