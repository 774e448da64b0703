#!/usr/bin/env bash
# Sets up the machine, builds the engine and showpack, packs the built-in
# demo show into a screensaver and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh release
mkdir -p out
build/showpack build demo/demo.json -o out/demo-show
build/showpack dump out/demo-show
out/demo-show /s && echo "demo show loaded"
