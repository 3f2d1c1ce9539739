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

if ! ensure_packages "${WIN_PACKAGES[@]}" "${OFFICE_TEST_PACKAGES[@]}"; then
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

# The Windows program's versions on ext4, exFAT, NTFS and an SMB share: the
# Linux test mounts each (as root) and runs the Windows test program there.
for native in build/ci build/dev; do
  program="$native/tests/platform/contract/program_on_file_systems_tests"
  [ -x "$program" ] || continue
  name=program_on_file_systems
  MABREL_WINE_PROGRAM_TESTS="$PWD/$build/tests/platform/contract/${name}_tests.exe" timeout 900 "$program" \
    --gtest_filter='*UnderWine*' --gtest_color=no >"$logs/$name.log" 2>&1
  rc=$?
  if [ $rc -ne 0 ]; then
    status=1
    echo "---- $name under Wine failed (exit $rc); the failures:"
    grep -E -B2 -A12 'Failure|FAILED  \]' "$logs/$name.log" | head -150
  fi
  printf 'wine: %-18s %s %s\n' "$name" "$(grep -E '^\[  PASSED  \] [0-9]+ tests?' "$logs/$name.log" | tail -1)" \
    "$(grep -E '^\[  SKIPPED \] [0-9]+ tests?' "$logs/$name.log" | tail -1)" | tee -a "$summary"
  break
done

# --- Ordinary users ------------------------------------------------------------
. scripts/colleagues.sh
if [ "$(id -u)" -ne 0 ]; then
  echo "wine: ordinary users: not run (needs root to become them)" | tee -a "$summary"
  exit $status
fi
colleague 1500 mabrel-a
colleague 1600 mabrel-b

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

# Two colleagues taking turns with the Windows program in the team's folder
# (setgid, group-writable), each with a umask of their own: what one makes
# there the other reads, replaces and comments (tests/app/team_turn_test.cpp).
for umasks in "022 077" "077 022"; do
  read -r umask_a umask_b <<<"$umasks"
  team="$(mktemp -d "$PWD/$build/team.XXXXXX")"
  chgrp "$team_gid" "$team"
  chmod 2775 "$team"
  printf one >"$team/a.txt"
  touch -d '2020-01-02 03:04:05' "$team/a.txt"
  chown 1500:"$team_gid" "$team/a.txt"
  chmod 0664 "$team/a.txt"
  verdict=passed
  for turn in "1 1500 $umask_a" "2 1600 $umask_b" "3 1500 $umask_a" "4 1600 $umask_b"; do
    read -r n uid mask <<<"$turn"
    # Between the first two turns an editor saves the file.
    [ "$n" = 2 ] && printf two >"$team/a.txt" && touch -d '2021-06-07 08:09:10' "$team/a.txt"
    (cd "$build/tests" && as_colleague "$uid" sh -c 'umask "$1"; shift; exec "$@"' sh "$mask" \
      env MABREL_TEAM_FOLDER="Z:${team//\//\\}\\" MABREL_TEAM_TURN="$n" ../../../scripts/wine-run.sh app_tests.exe \
      --gtest_also_run_disabled_tests --gtest_filter='DISABLED_TeamTurn.*' --gtest_color=no) \
      >"$logs/team-turn-$n.log" 2>&1 || {
      verdict="FAILED in turn $n"
      grep -E -B2 -A12 'Failure|exception' "$logs/team-turn-$n.log" | head -60
      break
    }
  done
  [ "$verdict" = passed ] || status=1
  printf 'wine: team folder %s: uid 1500 umask %s, uid 1600 umask %s\n' "$verdict" "$umask_a" "$umask_b" |
    tee -a "$summary"
  rm -rf "$team"
done

# The Linux program and the Windows program saving comments into one folder
# of the team at the same time, each as one colleague: every comment of both
# is there at the end, which only a lock both honour gives.
native=build/dev
[ "${CI:-}" = "true" ] && native=build/ci
if [ ! -x "$native/tests/platform_tests" ]; then
  cmake --preset "$(basename "$native")" >/dev/null && cmake --build "$native" --target platform_tests >/dev/null
fi
rounds=200
shared="$(mktemp -d "$PWD/$build/shared.XXXXXX")"
chgrp "$team_gid" "$shared"
chmod 2775 "$shared"
shared_run() {  # uid tag peer command...
  local uid="$1" tag="$2" peer="$3"
  shift 3
  as_colleague "$uid" env MABREL_SHARED_TAG="$tag" MABREL_SHARED_PEER="$peer" MABREL_SHARED_ROUNDS="$rounds" \
    "$@" --gtest_also_run_disabled_tests --gtest_filter='DISABLED_SharedSaves.*' --gtest_color=no
}
MABREL_SHARED_FOLDER="C:${shared//\//\\}" shared_run 1600 linux windows "$native/tests/platform_tests" \
  >"$logs/shared-linux.log" 2>&1 &
linux_pid=$!
(cd "$build/tests" && MABREL_SHARED_FOLDER="Z:${shared//\//\\}" \
  shared_run 1500 windows linux ../../../scripts/wine-run.sh platform_tests.exe) >"$logs/shared-windows.log" 2>&1
windows_rc=$?
wait "$linux_pid"
linux_rc=$?
comments="$shared/_mabre.l94"
count() { grep -c "^$1 [0-9]*"$'\r'"\$" "$comments" 2>/dev/null || true; }
linux_lines="$(count linux)" windows_lines="$(count windows)"
# How often the file's lines change hands: the two saved at the same time.
turns="$(cut -d' ' -f1 "$comments" 2>/dev/null | uniq | wc -l)"
verdict=passed
if [ $linux_rc -ne 0 ] || [ $windows_rc -ne 0 ] || [ "$linux_lines" != $rounds ] || [ "$windows_lines" != $rounds ]; then
  status=1
  verdict=FAILED
  tail -20 "$logs/shared-linux.log" "$logs/shared-windows.log"
fi
printf 'wine: shared saves %s: Linux (uid 1600) %s/%s lines, Windows (uid 1500) %s/%s lines, %s turns (exit %s/%s)\n' \
  "$verdict" "$linux_lines" $rounds "$windows_lines" $rounds "$turns" $linux_rc $windows_rc | tee -a "$summary"
rm -rf "$shared"
for uid in 1500 1600; do
  [ -n "$wineserver_bin" ] &&
    as_colleague "$uid" env WINEPREFIX="$colleagues_dir/colleague-$uid/wineprefix" "$wineserver_bin" -k >/dev/null 2>&1
done
exit $status
