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

if ! ensure_packages "${WIN_PACKAGES[@]}"; then
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

# --- Ordinary users ------------------------------------------------------------
# Offices run the program as people with accounts of their own: root may do
# what they may not (Wine as root clears a read-only file's attributes, for
# one). Two colleagues in one team (group): uid 1500 and 1600, made here
# when the machine has no such accounts; each runs Wine in a prefix and home
# of their own, as Wine requires.
team_gid=1700
colleague() {  # uid name
  getent group "$team_gid" >/dev/null || groupadd -g "$team_gid" mabrel-team
  getent passwd "$1" >/dev/null || useradd -u "$1" -g "$team_gid" -M -d /nonexistent -s /usr/sbin/nologin "$2"
  local home="$PWD/$build/colleague-$1"
  mkdir -p "$home/home"
  chown -R "$1:$team_gid" "$home"
}
as_colleague() {  # uid command...
  local uid="$1" home="$PWD/$build/colleague-$1"
  shift
  timeout 900 setpriv --reuid="$uid" --regid="$team_gid" --groups="$team_gid" \
    env HOME="$home/home" USER="colleague$uid" MABREL_WINE_PREFIX="$home/wineprefix" "$@"
}
if [ "$(id -u)" -ne 0 ]; then
  echo "wine: ordinary users: not run (needs root to become them)" | tee -a "$summary"
  exit $status
fi
colleague 1500 mabrel-a

# The Windows file system layer's tests as an ordinary user.
name=platform_tests
(cd "$build/tests" && as_colleague 1500 ../../../scripts/wine-run.sh "$name.exe" --gtest_color=no \
  --gtest_filter='Win32FileSystem*') >"$logs/$name-colleague.log" 2>&1
rc=$?
line="$(grep -E '^\[  (PASSED|FAILED)  \] [0-9]+ tests?' "$logs/$name-colleague.log" | tail -2 | tr '\n' ' ')"
if [ $rc -ne 0 ]; then
  status=1
  grep -E -B2 -A12 'Failure|FAILED  \]|exception' "$logs/$name-colleague.log" | head -80
fi
printf 'wine: %-18s as uid 1500: %s%s\n' "$name" "${line:-no summary}" "$([ $rc -ne 0 ] && echo " (exit $rc)")" |
  tee -a "$summary"

for uid in 1500; do
  [ -n "$wineserver_bin" ] &&
    as_colleague "$uid" env WINEPREFIX="$PWD/$build/colleague-$uid/wineprefix" "$wineserver_bin" -k >/dev/null 2>&1
done
exit $status
