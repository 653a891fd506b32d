#!/usr/bin/env bash
# Fails when a source file includes a folder that its layer may not use (README, "Layout"),
# or when a file outside app/ includes a Qt header. Tests, benchmarks and fuzz targets may
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
  [gl]="platform"
  [render]="gl scene platform"
  [view]="render document scene settings gl platform"
  [messages]="view render document io scene settings gl platform"
  [capture]="messages view render document io scene settings gl platform"
  [app]="capture messages view render document io scene settings gl platform samples"
  [samples]="view render document io scene settings gl platform"
  [tools]="capture messages view render document io scene settings gl platform samples"
)

status=0
for layer in "${!allowed[@]}"; do
  [[ -d $layer ]] || continue
  while IFS= read -r -d '' file; do
    while IFS=: read -r line included; do
      folder=${included%%/*}
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
