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

# Documents with versions kept, sizes of many digits, versions of one day.
folder=$prefix/drive_c/月次報告
program=$prefix/drive_c/mabrel-screenshot
trap 'rm -rf "$folder" "$program"' EXIT
rm -rf "$folder" "$program"
mkdir -p "$folder/_mabre-l94" "$folder/画像" "$folder/資料" "$program"
put() {  # name size time
  truncate -s "$2" "$folder/$1"
  touch -d "$3" "$folder/$1"
}
put 報告書.docx 48213 "2024-06-12 17:42:08"
put _mabre-l94/"報告書_2024-06-12 09-15-31.docx" 45877 "2024-06-12 09:15:31"
put _mabre-l94/"報告書_2024-06-12 13-47-55.docx" 47102 "2024-06-12 13:47:55"
put 予算.xlsx 12482731 "2024-06-11 10:03:27"
put _mabre-l94/"予算_2024-06-03 16-20-44.xlsx" 9874120 "2024-06-03 16:20:44"
put 取扱説明書.pdf 3157880 "2024-05-30 11:26:09"
put 写真.png 824315 "2024-06-10 08:12:40"
put 議事録.txt 2931 "2024-06-07 15:31:02"
put 資料一式.zip 104857600 "2024-06-05 18:44:19"
chmod a-w "$folder"/_mabre-l94/*
printf '%s\r\n' "6月の月次報告。提出前に部長確認" \
  "報告書.docx_2024-06-12 09-15-31,初稿" \
  "報告書.docx_2024-06-12 13-47-55,課長レビュー反映" \
  "報告書.docx_2024-06-12 17-42-08,最終版" \
  "予算.xlsx_2024-06-03 16-20-44,当初予算" | iconv -f UTF-8 -t CP932 >"$folder/_mabre.l94"
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
