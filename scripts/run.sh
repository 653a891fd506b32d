#!/usr/bin/env bash
# Installs what is missing, builds, and opens FILE in the viewer (default: the bundled sample
# scene). Where there is no display it renders FILE with orrisk-render instead and prints the
# path of the PNG it wrote.
set -euo pipefail
file=${1:-}
[[ -n "$file" ]] && file=$(realpath -m -- "$file")
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
bash scripts/build.sh default
file=${file:-$PWD/build/default/samples/lighthouse.ply}
if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  exec build/default/app/orrisk "$file"
fi
name=$(basename -- "$file")
png=$PWD/build/default/${name%.*}.png
build/default/tools/orrisk-render "$file" --out "$png"
echo "No display: rendered $file to $png"
