#!/usr/bin/env bash
# scripts/windows-screenshot.sh [OUT.png]: a screenshot of the Windows main
# window (default docs/windows-main-window.png): the real mabrel9-iv.exe of
# the mingw build under Wine, on Xvfb with openbox, maximised on a Japanese
# folder made for it. The folder sits at the root of the Wine prefix's C:
# drive, so that the tree shows its path whole.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$(realpath -m -- "${1:-docs/windows-main-window.png}")
. scripts/deps.sh
ensure_packages "${WIN_PACKAGES[@]}" "${WIN_GUI_TEST_PACKAGES[@]}" openbox xdotool imagemagick
[ -f build/mingw/build.ninja ] || cmake --preset mingw >/dev/null
cmake --build build/mingw --target mabrel9-iv -j 2
prefix=$root/build/mingw/wineprefix
scripts/wine-run.sh cmd /c exit >/dev/null 2>&1 || true

folder=$prefix/drive_c/月次報告
program=$prefix/drive_c/mabrel-screenshot
trap 'rm -rf "$folder" "$program"' EXIT
rm -rf "$folder" "$program"
mkdir -p "$program"
# Without the rarest names: the Wine prefix links no font that has them.
. scripts/demo_folder.sh
make_demo_folder "$folder"
# The settings file beside the program is the screenshot's own.
cp build/mingw/src/gui/win32/mabrel9-iv.exe "$program/"

# A server of another stage keeps a desktop without a display.
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
MABREL_TEST_WM=openbox tests/gui/qt/support/with-x-desktop.sh bash -s -- "$program" "$out" "$prefix" <<'DESKTOP'
set -uo pipefail
program=$1 out=$2 prefix=$3
MABREL_WINE_GUI=1 scripts/wine-run.sh "$program/mabrel9-iv.exe" 'C:\月次報告' >/dev/null 2>&1 &
status=1
for _ in $(seq 150); do
  if xdotool search --onlyvisible --name '月次報告' >/dev/null 2>&1; then
    sleep 3  # maximised, icons drawn
    import -window root "$out" && status=0
    break
  fi
  sleep 0.2
done
[ $status = 0 ] || echo "windows-screenshot: the main window did not appear" >&2
WINEPREFIX=$prefix wineserver -k 2>/dev/null
wait
exit $status
DESKTOP
echo "Screenshot of the Windows main window: $out"
