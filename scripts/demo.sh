#!/usr/bin/env bash
# The main job: sets up and builds, writes the bundled sample backup with the builder,
# scans it with salvora-cli and exports everything it holds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
sample=build/demo-backup
rm -rf "$sample"
build/bin/make-sample-backup --preset demo "$sample" >/dev/null
echo "== the sample backup in $sample"
build/bin/salvora-cli scan "$sample"
export_dir=build/demo-export
rm -rf "$export_dir"
echo "== the export of the sample backup"
build/bin/salvora-cli export "$sample" "$export_dir"
