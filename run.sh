#!/usr/bin/env bash
# ./run.sh [FOLDER]: installs what is missing, builds, and starts mabrel9-iv
# on FOLDER (a path of this machine). Without a display the program runs
# under Xvfb instead: a screenshot of its main window goes to
# build/screenshot.png and the program is then ended as at log-out.
set -euo pipefail
folder=
if [ $# -gt 0 ]; then
  [ -e "$1" ] || { echo "run.sh: no such folder or file: $1" >&2; exit 2; }
  folder=$(realpath -- "$1")
fi
cd "$(dirname "$0")"
root=$PWD
. scripts/deps.sh
ensure_packages "${CORE_PACKAGES[@]}" "${GUI_PACKAGES[@]}"

# MABREL_BUILD_DIR builds in another folder than the dev preset's build/dev.
if [ -n "${MABREL_BUILD_DIR:-}" ]; then
  build_dir=$(realpath -m -- "$MABREL_BUILD_DIR")
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
else
  build_dir="$root/build/dev"
  cmake --preset dev >/dev/null
fi
cmake --build "$build_dir" --target mabrel9-iv -j "$(nproc)"
exe="$build_dir/src/gui/qt/mabrel9-iv"
args=()
[ -n "$folder" ] && args=("$folder")

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$exe" "${args[@]}"
fi

shot="$root/build/screenshot.png"
mkdir -p "$root/build"
rm -f "$shot"
echo "No display: starting mabrel9-iv under Xvfb for a screenshot"
xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" bash -s -- "$exe" "$shot" "${args[@]}" <<'XVFB'
set -uo pipefail
exe=$1 shot=$2
shift 2
"$exe" "$@" &
pid=$!
win=
for _ in $(seq 100); do
  win=$(xwininfo -root -tree 2>/dev/null | awk '/\("mabrel9-iv" "mabrel9-iv"\)/ && $0 !~ / 1x1\+/ { print $1; exit }')
  [ -n "$win" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
status=0
if [ -n "$win" ]; then
  sleep 1.5   # the first paint, icons and fonts
  import -window "$win" "$shot" || status=1
else
  echo "run.sh: the main window did not appear" >&2
  status=1
fi
kill -TERM "$pid" 2>/dev/null
wait "$pid"
exit $status
XVFB
echo "Screenshot of the main window: $shot"
