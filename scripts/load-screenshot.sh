#!/usr/bin/env bash
# scripts/load-screenshot.sh [DIR]: screenshots of the main window while a
# large folder is read (DIR, default docs/): the Linux program on 100,000
# files with as many kept versions (docs/loading.png), and the Windows
# program under Wine on as many (docs/windows-loading.png); both under
# Xvfb with openbox, taken a moment after the window appears. Wine makes
# and reads its folder slowly: some ten minutes in all.
set -euo pipefail
out=$(realpath -m -- "${1:-$(dirname "$0")/../docs}")
cd "$(dirname "$0")/.."
root=$PWD
mkdir -p "$out"
. scripts/deps.sh
ensure_packages "${CORE_PACKAGES[@]}" "${GUI_PACKAGES[@]}" "${GUI_TEST_PACKAGES[@]}" "${WIN_PACKAGES[@]}" \
  "${WIN_GUI_TEST_PACKAGES[@]}"
cmake --preset dev >/dev/null
cmake --build build/dev --target mabrel9-iv -j 2
[ -f build/mingw/build.ninja ] || cmake --preset mingw >/dev/null
cmake --build build/mingw --target mabrel9-iv -j 2

# files FOLDER COUNT [COPIES]: COUNT files, and as many older kept versions.
files() {
  python3 - "$@" <<'PY'
import os, sys, time
folder, count, copies = sys.argv[1], int(sys.argv[2]), len(sys.argv) > 3
os.makedirs(os.path.join(folder, "_mabre-l94"), exist_ok=True)
base = int(time.time()) // 60 * 60 - 40 * 86400
for i in range(count):
    name = os.path.join(folder, "報告書 %d.txt" % i)
    with open(name, "w") as f: f.write("第2版")
    os.utime(name, (base + i, base + i))
    if copies:
        stamp = time.strftime("%Y-%m-%d %H-%M-%S", time.localtime(base + i - 864000))
        copy = os.path.join(folder, "_mabre-l94", "報告書 %d_%s.txt" % (i, stamp))
        with open(copy, "w") as f: f.write("第1版")
        os.chmod(copy, 0o444)
PY
}

work=$(mktemp -d /tmp/XXX)
prefix=$root/build/mingw/wineprefix
trap 'rm -rf "$work" "$prefix/drive_c/大きなフォルダー"' EXIT
files "$work/大きなフォルダー" 100000 copies
mkdir -m 700 "$work/runtime"
MABREL_TEST_WM=openbox tests/gui/qt/support/with-x-desktop.sh bash -s -- \
  "$root/build/dev/src/gui/qt/mabrel9-iv" "$work" "$out/loading.png" <<'DESKTOP'
set -uo pipefail
exe=$1 work=$2 shot=$3
HOME=$work XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime "$exe" "$work/大きなフォルダー" &
pid=$!
for _ in $(seq 100); do xdotool search --onlyvisible --pid $pid >/dev/null 2>&1 && break; sleep 0.05; done
sleep 0.7
import -window root "$shot"
kill -TERM $pid; wait $pid
DESKTOP

scripts/wine-run.sh cmd /c exit >/dev/null 2>&1 || true
rm -rf "$prefix/drive_c/大きなフォルダー"
files "$prefix/drive_c/大きなフォルダー" 100000 copies
program=$work/windows
mkdir -p "$program"
cp build/mingw/src/gui/win32/mabrel9-iv.exe "$program/"
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
MABREL_TEST_WM=openbox tests/gui/qt/support/with-x-desktop.sh bash -s -- "$program" "$out/windows-loading.png" "$prefix" <<'DESKTOP'
set -uo pipefail
program=$1 shot=$2 prefix=$3
MABREL_WINE_GUI=1 scripts/wine-run.sh "$program/mabrel9-iv.exe" 'C:\大きなフォルダー' >/dev/null 2>&1 &
for _ in $(seq 300); do xdotool search --onlyvisible --name '大きなフォルダー' >/dev/null 2>&1 && break; sleep 0.1; done
sleep 0.3
import -window root "$shot"
WINEPREFIX=$prefix wineserver -k 2>/dev/null
wait
DESKTOP
echo "Screenshots of a long load: $out/loading.png $out/windows-loading.png"
