#!/usr/bin/env bash
# The Windows front end's stage of test.sh: its test program drives the real
# mabrel9-iv.exe under Wine (Japanese locale, code page 932), with the
# windows on an X server of their own (Xvfb) under a real window manager:
# openbox, or the one named in MABREL_WINE_WM (metacity; none for a bare
# server, where Wine cannot maximise a window: it leaves that to the window
# manager). As people run the program: as an ordinary account (uid 1500, in
# its own Wine prefix) when this is root, else as this account in the prefix
# of the core's Wine stage (build/mingw/wineprefix).
#   scripts/wine-gui-tests.sh [summary-file] [test program arguments...]
# Prints one summary line (appended to the summary file too); exits non-zero
# when a test fails or the program cannot run.
set -uo pipefail
cd "$(dirname "$0")/.."
build=build/mingw
wineserver_bin=/usr/lib/wine/wineserver
[ -x "$wineserver_bin" ] || wineserver_bin="$(command -v wineserver64 || command -v wineserver || true)"
. scripts/colleagues.sh
tester=()
[ "$(id -u)" -eq 0 ] && tester=(as_colleague 1500)
# Ends the Wine processes of the tests' prefix, and only those.
stop_wineserver() {
  [ -n "$wineserver_bin" ] || return 0
  local prefix="$PWD/$build/wineprefix"
  [ ${#tester[@]} -eq 0 ] || prefix="$colleagues_dir/colleague-1500/wineprefix"
  "${tester[@]}" env WINEPREFIX="$prefix" "$wineserver_bin" -k >/dev/null 2>&1
  "${tester[@]}" env WINEPREFIX="$prefix" "$wineserver_bin" -w >/dev/null 2>&1
  return 0
}

# On the X server (called through with-x-desktop.sh): the tests, then Wine
# ends before the server does.
if [ "${1:-}" = --on-display ]; then
  shift
  (cd "$build/tests/gui/win32" && MABREL_WINE_GUI=1 "${tester[@]}" ../../../../../scripts/wine-run.sh \
    win32_gui_tests.exe --gtest_color=no "$@")
  rc=$?
  stop_wineserver
  exit $rc
fi

. scripts/deps.sh
summary="${1:-/dev/null}"
shift || true
wm="${MABREL_WINE_WM:-openbox}"
packages=("${WIN_PACKAGES[@]}" "${WIN_GUI_TEST_PACKAGES[@]}" "${OFFICE_TEST_PACKAGES[@]}")
[ "$wm" = none ] || packages+=("$wm")
if ! ensure_packages "${packages[@]}"; then
  echo "wine-gui: Wine, mingw-w64 or Xvfb could not be installed: stage skipped" | tee -a "$summary"
  exit 0
fi

if [ ! -f "$build/build.ninja" ]; then
  cmake --preset mingw >/dev/null || exit 1
fi
cmake --build --preset mingw -j "$(nproc)" || exit 1
if [ ${#tester[@]} -ne 0 ]; then
  colleague 1500 mabrel-a
  scripts/wine-run.sh --locale  # which the colleague may not make in the build folder
fi
logs="$build/test-logs"
mkdir -p "$logs"
log="$logs/win32_gui_tests.log"

# A server left by the console stage keeps a desktop without a display: this
# stage's desktop must start on the X server.
stop_wineserver
MABREL_TEST_WM="$wm" timeout 900 tests/gui/qt/support/with-x-desktop.sh "$0" --on-display "$@" >"$log" 2>&1
rc=$?

line="$(grep -E '^\[  PASSED  \] [0-9]+ tests?' "$log" | tail -1)"
skipped="$(grep -E '^\[  SKIPPED \] [0-9]+ tests?' "$log" | tail -1)"
failed="$(grep -E '^\[  FAILED  \] [0-9]+ tests?' "$log" | tail -1)"
if [ $rc -ne 0 ]; then
  echo "---- win32_gui_tests under Wine failed (exit $rc); the failures:"
  grep -E -B2 -A12 'Failure|FAILED  \]|exception' "$log" | head -200
  echo "---- (whole log: $log)"
fi
printf 'wine: %-18s %s%s %s %s%s\n' win32_gui_tests "$([ ${#tester[@]} -ne 0 ] && echo "as uid 1500: ")" \
  "${line:-[  PASSED  ] 0 tests.}" "$skipped" "$failed" "$([ $rc -ne 0 ] && echo " (exit $rc)")" | tee -a "$summary"
exit $rc
