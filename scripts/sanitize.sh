#!/usr/bin/env bash
# Runs the tests under the sanitizers: the whole suite built with AddressSanitizer and
# UndefinedBehaviorSanitizer (preset asan), then the tests that run the splat renderer's
# background sort thread built with ThreadSanitizer (preset tsan). Any report fails the run.
# Usage: scripts/sanitize.sh [asan|tsan]   (default: both, asan first)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh

suppressions=$PWD/tests/sanitizers
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1
export LSAN_OPTIONS=print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$suppressions/tsan.supp

# GUI tests need an X server; Xvfb stands in for a display when there is none.
run_ctest() {
  if [[ -z "${DISPLAY:-}" ]] && command -v xvfb-run >/dev/null; then
    xvfb-run -a -s "-screen 0 1920x1080x24" ctest "$@"
  else
    ctest "$@"
  fi
}

presets=("$@")
((${#presets[@]})) || presets=(asan tsan)
for preset in "${presets[@]}"; do
  echo "== $preset" >&2
  bash scripts/build.sh "$preset"
  case $preset in
    asan) run_ctest --preset asan ;;
    # The sort thread runs in the splat renderer; its tests start, race and join it.
    tsan) run_ctest --preset tsan -R 'SplatSortThread|SplatRenderer|SplatDepthSort' ;;
    *) echo "unknown preset $preset (asan or tsan)" >&2; exit 2 ;;
  esac
done
