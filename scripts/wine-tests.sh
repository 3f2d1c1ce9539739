#!/usr/bin/env bash
# The Windows stage of test.sh: cross-builds the core, its tests (preset
# mingw, build/mingw) and runs every test program under Wine, printing each
# program's summary line. Quick when nothing changed: ninja builds nothing
# and the Wine prefix in build/mingw/wineprefix is reused.
#   scripts/wine-tests.sh [summary-file]   (appends the summary lines there)
# Exits non-zero when a test fails or a program cannot run.
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
summary="${1:-/dev/null}"

if ! ensure_packages "${WIN_PACKAGES[@]}" "${OFFICE_TEST_PACKAGES[@]}"; then
  echo "wine: mingw-w64 or Wine could not be installed: Windows stage skipped" | tee -a "$summary"
  exit 0
fi

build=build/mingw
if [ ! -f "$build/build.ninja" ]; then
  cmake --preset mingw >/dev/null || exit 1
fi
cmake --build --preset mingw -j "$(nproc)" || exit 1

wineserver_bin=/usr/lib/wine/wineserver
[ -x "$wineserver_bin" ] || wineserver_bin="$(command -v wineserver64 || command -v wineserver || true)"
# One Wine server for the whole stage rather than one per program.
scripts/wine-run.sh cmd /c exit >/dev/null 2>&1 || true
if [ -n "$wineserver_bin" ]; then
  WINEPREFIX="$PWD/$build/wineprefix" "$wineserver_bin" -p10 >/dev/null 2>&1 || true
fi

status=0
logs="$build/test-logs"
mkdir -p "$logs"
for exe in "$build"/tests/*_tests.exe; do
  [ -e "$exe" ] || continue
  name="$(basename "$exe" .exe)"
  (cd "$build/tests" && timeout 900 ../../../scripts/wine-run.sh "$name.exe" --gtest_color=no) >"$logs/$name.log" 2>&1
  rc=$?
  line="$(grep -E '^\[  PASSED  \] [0-9]+ tests?' "$logs/$name.log" | tail -1)"
  skipped="$(grep -E '^\[  SKIPPED \] [0-9]+ tests?' "$logs/$name.log" | tail -1)"
  failed="$(grep -E '^\[  FAILED  \] [0-9]+ tests?' "$logs/$name.log" | tail -1)"
  if [ $rc -ne 0 ]; then
    status=1
    echo "---- $name under Wine failed (exit $rc); the failures:"
    grep -E -B2 -A12 'Failure|FAILED  \]|exception' "$logs/$name.log" | head -150
    echo "---- (whole log: $logs/$name.log)"
  fi
  printf 'wine: %-18s %s %s %s%s\n' "$name" "${line:-[  PASSED  ] 0 tests.}" "$skipped" "$failed" \
    "$([ $rc -ne 0 ] && echo " (exit $rc)")" | tee -a "$summary"
done

# The Windows program's versions on ext4, exFAT, NTFS and an SMB share: the
# Linux test mounts each (as root) and runs the Windows test program there.
for native in build/ci build/dev; do
  program="$native/tests/platform/contract/program_on_file_systems_tests"
  [ -x "$program" ] || continue
  name=program_on_file_systems
  MABREL_WINE_PROGRAM_TESTS="$PWD/$build/tests/platform/contract/${name}_tests.exe" timeout 900 "$program" \
    --gtest_filter='*UnderWine*' --gtest_color=no >"$logs/$name.log" 2>&1
  rc=$?
  if [ $rc -ne 0 ]; then
    status=1
    echo "---- $name under Wine failed (exit $rc); the failures:"
    grep -E -B2 -A12 'Failure|FAILED  \]' "$logs/$name.log" | head -150
  fi
  printf 'wine: %-18s %s %s\n' "$name" "$(grep -E '^\[  PASSED  \] [0-9]+ tests?' "$logs/$name.log" | tail -1)" \
    "$(grep -E '^\[  SKIPPED \] [0-9]+ tests?' "$logs/$name.log" | tail -1)" | tee -a "$summary"
  break
done
exit $status
