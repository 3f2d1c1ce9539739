#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
ensure_packages "${CORE_PACKAGES[@]}" "${GUI_PACKAGES[@]}" "${GUI_TEST_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}" \
  "${FUZZ_PACKAGES[@]}" "${FS_TEST_PACKAGES[@]}" "${OFFICE_TEST_PACKAGES[@]}"

preset=dev
[ "${CI:-}" = "true" ] && preset=ci
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
native_log="$(mktemp)" wine_log="$(mktemp)" fuzz_log="$(mktemp)"
trap 'rm -f "$native_log" "$wine_log" "$fuzz_log"' EXIT
ctest --preset "$preset" -j "$(nproc)" | tee "$native_log"

# The fuzz targets (clang with AddressSanitizer and UBSan, build/fuzz), each
# over its committed corpus and a few thousand inputs more.
fuzz_status=0
scripts/fuzz.sh --check | tee "$fuzz_log" || fuzz_status=$?

# Windows: the core cross-built with mingw-w64, its tests run under Wine, then
# the Windows front end driven under Wine on an X server (MABREL_WINE=0
# leaves this out).
wine_status=0
if [ "${MABREL_WINE:-1}" != 0 ]; then
  scripts/wine-tests.sh "$wine_log" || wine_status=$?
  scripts/wine-gui-tests.sh "$wine_log" || wine_status=$?
fi
echo "== Summary"
echo "native: $(grep -E 'tests passed|tests failed' "$native_log" | tail -1)"
# The fault sweep's and the crash test's own lines, from ctest's full log.
grep -hE '^(fault sweep|crash test): ' "build/$preset/Testing/Temporary/LastTest.log" 2>/dev/null || true
grep '^fuzz ' "$fuzz_log" || echo "fuzz: not run"
cat "$wine_log"
[ "$fuzz_status" -eq 0 ] || exit "$fuzz_status"
exit "$wine_status"
