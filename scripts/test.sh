#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (unit, GL and GUI).
# Usage: scripts/test.sh [preset]   (default, asan or tsan)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
preset=${1:-default}
bash scripts/build.sh "$preset"
# GUI tests need an X server; Xvfb stands in for a display when there is none.
if [[ -z "${DISPLAY:-}" ]] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24" ctest --preset "$preset"
fi
exec ctest --preset "$preset"
