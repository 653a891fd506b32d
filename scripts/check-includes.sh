#!/usr/bin/env bash
# Fails when a source file includes a folder that its layer may not use (README, "Layout"),
# when a format folder of io/ includes a format it does not build on or the log, or when a
# file outside app/ includes a Qt header. Tests, benchmarks and fuzz targets may
# include any engine folder. Usage: scripts/check-includes.sh [ROOT]
set -euo pipefail
root=$(cd "${1:-$(dirname "$0")/..}" && pwd)
cd "$root"

# Folders each layer may include, besides its own.
declare -A allowed=(
  [platform]=""
  [scene]="platform"
  [io]="scene platform"
  [settings]="platform"
  [document]="io scene settings platform"
  [convert]="document io scene settings platform"
  [gl]="platform"
  [render]="gl scene platform"
  [view]="render document scene settings gl platform"
  [messages]="view render document io scene settings gl platform"
  [capture]="convert messages view render document io scene settings gl platform"
  [app]="convert capture messages view render document io scene settings gl platform samples"
  [samples]="view render document io scene settings gl platform"
  [tools]="convert capture messages view render document io scene settings gl platform samples"
)

# Inside io/: the folders of io/ each format folder may include, besides its own. io/core is
# what every reader shares; a format includes the formats it builds on and no others.
declare -A io_allowed=(
  [core]=""
  [ply]="core"
  [las]="core"
  [laz]="core las"
  [copc]="core laz las"
  [splat]="core ply"
  [poses]="core"
  [ept]="core laz las"
  [tiles]="core copc laz las ept"
)

# Checks an include of io/ by a file in io/: by the table above.
check_io_include() {
  local file=$1 line=$2 included=$3
  local rest=${file#io/}
  local own=${rest%%/*}
  [[ $rest != */* ]] && return 0  # reported once for the file
  if [[ -z ${io_allowed[$own]+set} ]]; then
    echo "$file: io/$own/ is not a known io folder (scripts/check-includes.sh, io_allowed)" >&2
    return 1
  fi
  local target=${included#io/}
  target=${target%%/*}
  [[ $target == "$own" ]] && return 0
  [[ " ${io_allowed[$own]} " == *" $target "* ]] && return 0
  echo "$file:$line: io/$own/ may not include $included" >&2
  return 1
}

status=0
for layer in "${!allowed[@]}"; do
  [[ -d $layer ]] || continue
  while IFS= read -r -d '' file; do
    if [[ $layer == io && $file != io/*/* ]]; then
      echo "$file: io/ holds its sources in io/core and one folder per format" >&2
      status=1
    fi
    while IFS=: read -r line included; do
      folder=${included%%/*}
      if [[ $layer == io && $folder == io ]]; then
        check_io_include "$file" "$line" "$included" || status=1
        continue
      fi
      if [[ $layer == io && $included == platform/Log.h ]]; then
        echo "$file:$line: io/ writes no log: a reader returns its lines as notes" >&2
        status=1
        continue
      fi
      [[ $folder == "$layer" ]] && continue
      [[ " ${allowed[$layer]} " == *" $folder "* ]] && continue
      echo "$file:$line: $layer/ may not include $included" >&2
      status=1
    done < <(grep -noE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^"]+/[^"]+"' "$file" \
               | sed -E 's/^([0-9]+):.*"([^"]+)"$/\1:\2/')
    if [[ $layer != app ]] && grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+<Q' "$file" >&2; then
      echo "$file: Qt headers belong in app/ only" >&2
      status=1
    fi
  done < <(find "$layer" -type f \( -name '*.h' -o -name '*.cpp' \) -print0)
done
if [[ $status -eq 0 ]]; then
  echo "includes follow the layers"
fi
exit $status
