#!/usr/bin/env bash
# Takes the README's screenshots: the main window with the bundled sample scene in English
# and in Japanese, grabbed by the language test, written to docs/screenshot-en.png and
# docs/screenshot-ja.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh default
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
run=(env ORRISK_SCREENSHOT_DIR="$out" build/default/tests/gui/LanguageTest
     menusToolbarAndStatusInEnglish menusInJapanese)
if [[ -z "${DISPLAY:-}" ]]; then
  run=(xvfb-run -a -s "-screen 0 1920x1080x24" "${run[@]}")
fi
"${run[@]}" >/dev/null
mkdir -p docs
for language in en ja; do
  cp "$out/screenshot-$language.png" "docs/screenshot-$language.png"
  echo "wrote docs/screenshot-$language.png"
done
