#!/usr/bin/env bash
# Writes the large benchmark inputs (once) and runs the benchmarks.
# Usage: scripts/bench.sh [google-benchmark options, e.g. --benchmark_filter=Las]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
bash scripts/build.sh default
data=${ORRISK_BENCH_DATA:-$PWD/bench-data}
mkdir -p "$data"
for name in cloud-20m-f3:cloud-20m-f3.las cloud-10m-rgb:cloud-10m-rgb.ply \
            splat-1m-sh3:splat-1m-sh3.ply splat-200k-sh0-ids:splat-200k-sh0-ids.ply; do
  [[ -f "$data/${name#*:}" ]] || ../shared/tools/make-bench-data "$data" --only "${name%%:*}"
done
ORRISK_BENCH_DATA=$data exec build/default/bench/orrisk_bench "$@"
