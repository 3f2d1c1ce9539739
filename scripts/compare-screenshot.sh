#!/usr/bin/env bash
# scripts/compare-screenshot.sh [--excel] [OUT.png]: takes the screenshot of
# the compare window (docs/compare-window.png): the real program under Xvfb
# with openbox, on a folder with minutes in Japanese and a kept earlier
# version of them, compared with Ctrl+D. With --excel, on a quotation in
# Excel and its kept earlier version, a row inserted since
# (docs/compare-excel.png).
set -euo pipefail
excel=0
if [ "${1:-}" = --excel ]; then excel=1; shift; fi
default=compare-window.png
[ "$excel" = 1 ] && default=compare-excel.png
out=$(realpath -m -- "${1:-$(dirname "$0")/../docs/$default}")
cd "$(dirname "$0")/.."
root=$PWD
. scripts/deps.sh
ensure_packages "${CORE_PACKAGES[@]}" "${GUI_PACKAGES[@]}" "${GUI_TEST_PACKAGES[@]}" "${OFFICE_TEST_PACKAGES[@]}"
cmake --preset dev >/dev/null
cmake --build build/dev --target mabrel9-iv -j 2
exe="$root/build/dev/src/gui/qt/mabrel9-iv"

demo=$(mktemp -d /tmp/XXX)
trap 'rm -rf "$demo"' EXIT
folder="$demo/定例会議"
mkdir -p "$folder/_mabre-l94"
minutes() {  # version
  local v=$1
  printf '%s\r\n' "第12回 定例会議 議事録" "" "日時：2024年6月7日（金）15:00〜16:30" "場所：本社3階 第2会議室"
  if [ "$v" = 1 ]; then printf '%s\r\n' "出席：山田、佐藤、鈴木、高橋"; else printf '%s\r\n' "出席：山田、佐藤、鈴木、高橋、田中（オンライン）"; fi
  printf '%s\r\n' "" "1. 前回の確認事項" "  ・見積書の提出は6月5日に完了した。"
  if [ "$v" = 1 ]; then printf '%s\r\n' "  ・新システムの導入時期は未定。"; else printf '%s\r\n' "  ・新システムの導入時期は9月に決定した。"; fi
  printf '%s\r\n' "" "2. 今月の売上報告" "  ・売上は前年同月比 105% で推移している。"
  [ "$v" = 1 ] && printf '%s\r\n' "  ・在庫は適正な水準にある。"
  printf '%s\r\n' "  ・広告費の見直しを検討する。" "" "3. 次回の予定"
  if [ "$v" = 1 ]; then printf '%s\r\n' "  ・次回は6月21日（金）15:00から。"
  else printf '%s\r\n' "  ・次回は6月28日（金）14:00から。" "  ・議事録は佐藤が作成し、共有フォルダーに置く。"; fi
  printf '%s\r\n' "" "以上"
}
name=議事録.txt
if [ "$excel" = 1 ]; then
  # The tests' quotation: its second version has a row more and a quantity changed.
  /usr/bin/python3 tests/backup/office/make_samples.py "$demo/samples" >/dev/null
  name=見積書.xlsx
  cp "$demo/samples/quote_v1.xlsx" "$folder/_mabre-l94/見積書_2024-06-07 17-02-11.xlsx"
  cp "$demo/samples/quote_v2.xlsx" "$folder/$name"
else
  minutes 1 >"$folder/_mabre-l94/議事録_2024-06-07 17-02-11.txt"
  minutes 2 >"$folder/$name"
fi
kept=$(ls "$folder/_mabre-l94/"*)
touch -d "2024-06-07 17:02:11" "$kept"
chmod a-w "$kept"
touch -d "2024-06-10 09:41:37" "$folder/$name"

xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" bash -s -- "$exe" "$folder" "$out" "$name" <<'XVFB'
set -euo pipefail
exe=$1 folder=$2 out=$3 name=$4
openbox --sm-disable &
wm=$!
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done
home=$(mktemp -d)
cp "$exe" "$home/"
HOME=$home XDG_RUNTIME_DIR=$home TMPDIR=$home "$home/mabrel9-iv" "$folder/$name" &
pid=$!
window() {  # name: the window's id once it is shown
  local id=
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) && [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || { echo "compare-screenshot: no window '$1'" >&2; return 1; }
  echo "$id"
}
main=$(window " C:.*")
sleep 2
# The list: its first row is the kept version; Ctrl+D compares it.
eval "$(xwininfo -id "$main" | awk '/Absolute upper-left X/ {print "x=" $NF} /Absolute upper-left Y/ {print "y=" $NF}')"
xdotool mousemove $((x + 250)) $((y + 134 + 18 + 9)) click 1
sleep 0.3
xdotool key ctrl+d
compare=$(window "$name の比較 — mabrel9-iv")
sleep 1
xdotool windowsize "$compare" 1000 640
sleep 1
frame=$compare
while parent=$(xwininfo -children -id "$frame" | awk '/Parent window id:/ {print $4}') &&
      [ -n "$parent" ] && [ "$(xwininfo -root | awk '/Window id:/ {print $4}')" != "$parent" ]; do
  frame=$parent
done
eval "$(xwininfo -id "$frame" | awk '/Absolute upper-left X/ {print "fx=" $NF} /Absolute upper-left Y/ {print "fy=" $NF}
  /Width:/ {print "fw=" $NF} /Height:/ {print "fh=" $NF}')"
import -window root -crop "$((fw + 24))x$((fh + 24))+$((fx - 12))+$((fy - 12))" +repage "$out"
xdotool key Escape || true
sleep 0.3
kill -TERM "$pid"
wait "$pid" || true
kill "$wm"
rm -rf "$home"
XVFB
echo "Screenshot: $out"
