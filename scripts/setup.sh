#!/usr/bin/env bash
# Installs the Debian packages the project needs to build, run and test.
set -euo pipefail
cd "$(dirname "$0")/.."
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
# shellcheck disable=SC2046
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends $(grep -v '^#' scripts/packages.txt) >/dev/null
