#!/usr/bin/env bash
# scripts/screenshots.sh [DIR]: takes the screenshots in docs/ (or DIR) from
# the real program on a folder made for them, under Xvfb with openbox: the
# main window, the context menu and the input box. Builds the program first
# (dev preset).
set -euo pipefail
out=$(realpath -m -- "${1:-$(dirname "$0")/../docs}")
cd "$(dirname "$0")/.."
root=$PWD
mkdir -p "$out"
. scripts/deps.sh
ensure_packages "${CORE_PACKAGES[@]}" "${GUI_PACKAGES[@]}" "${GUI_TEST_PACKAGES[@]}"
cmake --preset dev >/dev/null
cmake --build build/dev --target mabrel9-iv -j 2
exe="$root/build/dev/src/gui/qt/mabrel9-iv"

# A short path, so that the tree shows it whole.
demo=$(mktemp -d /tmp/XXX)
trap 'rm -rf "$demo"' EXIT
folder="$demo/月次報告"
. scripts/demo_folder.sh
make_demo_folder "$folder" rare

xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" bash -s -- "$exe" "$folder" "$out" <<'XVFB'
set -euo pipefail
exe=$1 folder=$2 docs=$3
openbox --sm-disable &
wm=$!
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done
home=$(mktemp -d)
cp "$exe" "$home/"
HOME=$home XDG_RUNTIME_DIR=$home "$home/mabrel9-iv" "$folder" &
pid=$!
window() {  # name: the window's id once it is shown
  local id=
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) && [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || { echo "screenshots: no window '$1'" >&2; return 1; }
  echo "$id"
}
# A window with its frame and a little of what is around it.
shot() {  # id file
  local x y w h
  eval "$(xwininfo -id "$(frame_of "$1")" | awk '/Absolute upper-left X/ {print "x=" $NF} /Absolute upper-left Y/ {print "y=" $NF}
    /Width:/ {print "w=" $NF} /Height:/ {print "h=" $NF}')"
  import -window root -crop "$((w + 24))x$((h + 24))+$((x - 12))+$((y - 12))" +repage "$2"
}
frame_of() {  # the window manager's frame around a client window
  local id=$1 parent
  while parent=$(xwininfo -children -id "$id" | awk '/Parent window id:/ {print $4}') &&
        [ -n "$parent" ] && [ "$(xwininfo -root | awk '/Window id:/ {print $4}')" != "$parent" ]; do
    id=$parent
  done
  echo "$id"
}
main=$(window " C:.*")
sleep 2   # maximised, listed, painted
import -window root "$docs/screenshot.png"

# Clicks at a point of a window's client area.
click() {  # id x y button
  local x y
  eval "$(xwininfo -id "$1" | awk '/Absolute upper-left X/ {print "x=" $NF} /Absolute upper-left Y/ {print "y=" $NF}')"
  xdotool mousemove $((x + $2)) $((y + $3)) click "$4"
}
# The fifth row (a backup copy of 報告書.docx): the list's top, its header
# and four rows of 18 pixels above it.
click "$main" 250 $((134 + 18 + 4 * 18 + 9)) 1
sleep 0.3
click "$main" 250 $((134 + 18 + 4 * 18 + 9)) 3
menu=$(window " mabrel9-iv メニュー")
sleep 0.5
shot "$menu" "$docs/context-menu.png"

# コメント opens the input box.
click "$menu" 70 22 1
input=$(window "コメントをつける")
sleep 0.5
shot "$input" "$docs/input-box.png"
xdotool key Escape || true
sleep 0.3
kill -TERM "$pid"
wait "$pid" || true
kill "$wm"
rm -rf "$home"
XVFB
echo "Screenshots: $out/screenshot.png $out/context-menu.png $out/input-box.png"
