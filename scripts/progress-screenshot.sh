#!/usr/bin/env bash
# scripts/progress-screenshot.sh [OUT.png]: a screenshot of the progress
# window (default docs/progress-window.png). The real executable runs under
# Xvfb and openbox on a folder with one large file, its copies slowed by
# scripts/slow_copy_shim.c as on a slow medium; the file is opened with the
# keyboard (Tab to the list, Home, Enter), and the progress window is taken
# with its frame once it shows. The program is then ended as at log-out.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$(realpath -m -- "${1:-docs/progress-window.png}")
. scripts/deps.sh
ensure_packages "${CORE_PACKAGES[@]}" "${GUI_PACKAGES[@]}" "${GUI_TEST_PACKAGES[@]}"
cmake --preset dev >/dev/null
cmake --build build/dev --target mabrel9-iv -j "$(nproc)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -shared -fPIC -O2 -o "$work/slow_copy_shim.so" scripts/slow_copy_shim.c -ldl
# The program keeps its settings beside itself: a copy of its own.
mkdir -p "$work/program" "$work/folder" "$work/runtime"
chmod 700 "$work/runtime"
cp build/dev/src/gui/qt/mabrel9-iv "$work/program/"
head -c $((48 << 20)) /dev/urandom >"$work/folder/見積書_2024年度 最終版.xlsx"

MABREL_TEST_WM=openbox tests/gui/qt/support/with-x-desktop.sh bash -s -- "$work" "$out" <<'DESKTOP'
set -uo pipefail
work=$1 out=$2
XDG_RUNTIME_DIR="$work/runtime" LD_PRELOAD="$work/slow_copy_shim.so" MABREL_SLOW_COPY_MS=40 \
  "$work/program/mabrel9-iv" "$work/folder" &
pid=$!
window_named() {  # title
  xdotool search --all --onlyvisible --pid "$pid" --name "^$1\$" 2>/dev/null | head -1
}
main=
for _ in $(seq 100); do
  main=$(xdotool search --all --onlyvisible --pid "$pid" --class mabrel9-iv 2>/dev/null | head -1)
  [ -n "$main" ] && break
  sleep 0.1
done
status=1
if [ -n "$main" ]; then
  sleep 1.5  # maximised, first paint
  xdotool windowactivate --sync "$main" key Tab Tab Tab Home Return
  progress=
  for _ in $(seq 50); do
    progress=$(window_named " コピー中")
    [ -n "$progress" ] && break
    sleep 0.1
  done
  if [ -n "$progress" ]; then
    sleep 2  # a good part copied
    import -frame -window "$progress" "$out" && status=0
  else
    echo "progress-screenshot: the progress window did not show" >&2
  fi
else
  echo "progress-screenshot: the main window did not appear" >&2
fi
kill -TERM "$pid" 2>/dev/null
wait "$pid"
exit $status
DESKTOP
echo "Screenshot of the progress window: $out"
