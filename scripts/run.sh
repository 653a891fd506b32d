#!/usr/bin/env bash
# Installs what is missing, builds, and opens FILE (default: a file of the test corpus).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
bash scripts/build.sh default
file=${1:-../shared/testdata/las/autzen.las}
exec build/default/tools/orrisk-info "$file"
