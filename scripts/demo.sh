#!/usr/bin/env bash
# The main job: sets up and builds, writes the bundled sample backup with the builder and
# scans it with salvora-cli.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
sample=build/demo-backup
rm -rf "$sample"
build/bin/make-sample-backup --preset demo "$sample" >/dev/null
echo "== the sample backup in $sample"
build/bin/salvora-cli scan "$sample"
