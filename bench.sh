#!/usr/bin/env bash
# Builds the benchmarks optimised and runs them all. Each compares the
# program with the machine's own calls in one run, in turns, and prints
# "ratio NAME: VALUE (goal <= GOAL)" or "memory NAME: ..." lines. Exits
# non-zero when any goal is missed. Takes a few minutes; needs a few GiB free
# in the temporary folder (MABREL_BENCH_DIR chooses another, on a real disk).
set -uo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
ensure_packages "${CORE_PACKAGES[@]}" "${GUI_PACKAGES[@]}" "${FS_TEST_PACKAGES[@]}" x11-utils unzip

cmake --preset dev >/dev/null || exit 1
programs=(load_bench copy_bench compare_bench gui_bench start_bench)
cmake --build --preset dev -j 2 --target "${programs[@]}" >/dev/null || exit 1

log="$(mktemp)"
trap 'rm -f "$log"' EXIT
status=0
for program in "${programs[@]}"; do
  echo "== $program"
  run=("build/dev/bench/$program")
  # The real program's window on an X server of its own, no window manager.
  [ "$program" = start_bench ] && run=(env MABREL_TEST_WM=none tests/gui/qt/support/with-x-desktop.sh "${run[@]}")
  "${run[@]}" 2>&1 | tee -a "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
done
echo "== Summary"
grep -E '^(ratio|memory) ' "$log"
[ "$status" -eq 0 ] && echo "every goal met" || echo "a goal was missed"
exit "$status"
