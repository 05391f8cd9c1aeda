#!/usr/bin/env bash
# The main job: sets up, builds, and lists the backups kept on this computer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build/bin/salvora-cli list
