#!/usr/bin/env bash
# Configures and builds one flavour of the project.
#   scripts/build.sh            release build with warnings as errors, in build/
#   scripts/build.sh sanitize   clang with AddressSanitizer, UndefinedBehaviorSanitizer
#                               and the libFuzzer targets, in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=${1:-release}
case "$flavour" in
release)
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DSHOWSAVER_WERROR=ON >/dev/null
  cmake --build build
  ;;
sanitize)
  CC=clang CXX=clang++ cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DSHOWSAVER_WERROR=ON -DSHOWSAVER_SANITIZE=ON -DSHOWSAVER_FUZZ=ON -DSHOWSAVER_BENCH=OFF >/dev/null
  cmake --build build-sanitize
  ;;
*)
  echo "usage: scripts/build.sh [release|sanitize]" >&2
  exit 2
  ;;
esac
