#!/usr/bin/env bash
# Takes the README's screenshot: the main window with the bundled sample scene, grabbed by
# the application test, written to docs/screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh default
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
run=(env ORRISK_SCREENSHOT_DIR="$out" build/default/tests/gui/AppTest sampleSceneScreenshot)
if [[ -z "${DISPLAY:-}" ]]; then
  run=(xvfb-run -a -s "-screen 0 1920x1080x24" "${run[@]}")
fi
"${run[@]}" >/dev/null
mkdir -p docs
cp "$out/sample.png" docs/screenshot.png
echo "wrote docs/screenshot.png"
