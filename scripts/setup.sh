#!/usr/bin/env bash
# Sets everything up on a Debian 12 machine: installs the missing packages of
# scripts/packages.txt, configures and builds into build/.
#   scripts/setup.sh [extra cmake arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t packages < <(grep -v '^\s*#' scripts/packages.txt | grep -v '^\s*$')
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: these Debian packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  if ! apt-get install -y --no-install-recommends "${missing[@]}"; then
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
  fi
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSALVORA_WERROR=ON "$@" >/dev/null
cmake --build build
