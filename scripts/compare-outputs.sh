#!/usr/bin/env bash
# Writes what orrisk-info (summary and --dump arrays) and orrisk-render (PNG, messages, exit
# status) produce for every file of the test corpus into OUTDIR, so that two builds can be
# compared byte for byte:
#   scripts/compare-outputs.sh OUTDIR [BUILD_DIR]     (default build/default)
#   diff -r BEFORE AFTER
# Draw times printed by orrisk-render are replaced by a placeholder; everything else is kept.
set -euo pipefail
if [[ $# -lt 1 ]]; then
  echo "usage: $0 OUTDIR [BUILD_DIR]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
build=$(cd "${2:-$root/build/default}" && pwd)
corpus=$(cd "$root/../shared/testdata" && pwd)
info="$build/tools/orrisk-info"
render="$build/tools/orrisk-render"
for program in "$info" "$render"; do
  [[ -x $program ]] || { echo "$program is not built" >&2; exit 2; }
done

# Runs a program with its standard streams and exit status written next to each other.
record() {
  local base=$1
  shift
  local rc=0
  "$@" >"$base.stdout" 2>"$base.stderr" || rc=$?
  echo "$rc" >"$base.rc"
}

cd "$corpus"
find . -type f ! -name README.md -printf '%P\n' | LC_ALL=C sort | while IFS= read -r file; do
  target="$out/$file"
  mkdir -p "$target"
  if [[ $file == poses/* ]]; then
    record "$target/info" "$info" --poses "$file"
    continue
  fi
  record "$target/info" "$info" "$file" --dump "$target/dump"
  # orrisk-render prints the picture's path as given: run it from the output folder.
  (cd "$target" && record render "$render" "$corpus/$file" --size 160x120 --out render.png)
  (cd "$target" && record render-x "$render" "$corpus/$file" --size 96x64 --view -x --ortho \
    --point-size 5 --square --background 10,20,30 --seg-blend 0.8 --seg-seed 7 --out render-x.png)
  sed -i -E 's/ [0-9]+\.[0-9]+ ms$/ <time> ms/' "$target/render.stdout" "$target/render-x.stdout"
done

# Camera frames: every pose file over one scene of each kind.
for scene in ply/cloud_binary_le.ply splat/splat_sh1.ply; do
  [[ -f $scene ]] || continue
  for poses in poses/*; do
    target="$out/frames/$(basename "$scene")/$(basename "$poses")"
    mkdir -p "$target"
    (cd "$target" && record render "$render" "$corpus/$scene" --poses "$corpus/$poses" --all-frames \
      --size 64x48 --out frame.png)
    sed -i -E 's/ [0-9]+\.[0-9]+ ms$/ <time> ms/' "$target/render.stdout"
  done
done
echo "outputs written to $out"
