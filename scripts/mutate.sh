#!/usr/bin/env bash
# Plants the faults of scripts/mutants.txt in the core one at a time,
# rebuilds the core and its tests (build/mutate), and runs them: a fault the
# suite lets pass "survived". Prints one line a fault, then the score.
#   scripts/mutate.sh [FIRST [LAST]]   only faults FIRST..LAST (1-based)
#   scripts/mutate.sh --check          only whether each fault still applies
#   scripts/mutate.sh --per-suite ...  every suite runs whole on each fault and all
#                                      that catch it are named, to find each suite's
#                                      unique kills (the long proofs only when no
#                                      other suite catches the fault)
# Not part of ./test.sh: it takes about a minute a fault.
set -euo pipefail
cd "$(dirname "$0")/.."
list=scripts/mutants.txt
build=build/mutate
check=0
per_suite=0
[ "${1:-}" = --check ] && { check=1; shift; }
[ "${1:-}" = --per-suite ] && { per_suite=1; shift; }
first=${1:-1}
last=${2:-1000000}

if [ "$check" = 0 ] && [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMABREL_WERROR=ON \
    -DMABREL_GUI=OFF -DMABREL_WIN32_GUI=OFF -DMABREL_BENCH=OFF -DMABREL_FUZZ=OFF >/dev/null
fi
jobs=${MUTATE_JOBS:-2}
build_all() { cmake --build "$build" -j "$jobs" >"$build/mutate-build.log" 2>&1; }

# The file being changed, kept aside until it is put back.
saved="" target=""
restore() {
  if [ -n "$saved" ]; then
    # Its time now, not the one it had: older than the object built with the
    # fault, it would leave the fault in the build.
    cp "$saved" "$target"
    rm -f "$saved"
    saved=""
  fi
}
trap 'restore' EXIT
trap 'kill $(jobs -p) 2>/dev/null; restore; exit 130' INT TERM

# Replaces the first `text` after `after` in `file`; exit 3 when the text
# does not stand exactly once there.
plant() {
  FIND="$2" WITH="$3" AFTER="$4" perl -0777 -i -pe '
    BEGIN { $found = 0 }
    my $from = 0;
    if (length $ENV{AFTER}) {
      my $a = index($_, $ENV{AFTER});
      if ($a < 0) { $found = -1 } else { $from = $a + length $ENV{AFTER} }
    }
    if ($found == 0) {
      my $at = index($_, $ENV{FIND}, $from);
      my $again = $at < 0 || length $ENV{AFTER} ? -1 : index($_, $ENV{FIND}, $at + 1);
      if ($at >= 0 && $again < 0) { substr($_, $at, length $ENV{FIND}) = $ENV{WITH}; $found = 1 }
    }
    END { exit($found == 1 ? 0 : 3) }' "$1"
}

# The two long proofs (every failing call, every kill point) run as their
# own programs, side by side: under load they outlast ctest's time limits.
proofs='^(fault_sweep|crash)$'
proof_programs=("$build/tests/proof/fault_sweep_tests" "$build/tests/proof/crash_tests")
proof_names=(fault_sweep crash)
killer=""  # what found the fault last planted
run_proofs() {  # the proofs whose names match $1 (and not $2)
  local pids=() names=() i
  for i in 0 1; do
    if [[ ${proof_names[$i]} =~ $1 ]] && { [ -z "$2" ] || ! [[ ${proof_names[$i]} =~ $2 ]]; }; then
      "${proof_programs[$i]}" >"$build/mutate-proof-$i.log" 2>&1 &
      pids+=($!)
      names+=("${proof_names[$i]}")
    fi
  done
  local failed=0
  for i in "${!pids[@]}"; do wait "${pids[$i]}" || { failed=1; killer+="${names[$i]} "; }; done
  return "$failed"
}
# ctest's list of what failed, as "name (Failed)".
failed_in() { sed -nE 's/^[[:space:]]+[0-9]+ - (.*)$/\1/p' "$build/mutate-test.log" | head -3 | tr '\n' ' '; }
# Every test suite that fails, by its name; the long proofs when none did.
run_every_suite() {
  killer=""
  ctest --test-dir "$build" -j "$jobs" -E "$proofs" >"$build/mutate-test.log" 2>&1 ||
    killer=$(sed -nE 's/^[[:space:]]+[0-9]+ - ([^.]*)\..*$/\1/p' "$build/mutate-test.log" | sort -u | tr '\n' ' ')
  [ -n "$killer" ] && return 1
  run_proofs '.' ''
}
# The likely tests ($1), then the rest of the suite, the proofs last.
run_tests() {
  killer=""
  [ "$per_suite" = 1 ] && { run_every_suite; return; }
  ctest --test-dir "$build" -j "$jobs" --stop-on-failure -R "$1" -E "$proofs" >"$build/mutate-test.log" 2>&1 ||
    { killer=$(failed_in); return 1; }
  ctest --test-dir "$build" -j "$jobs" --stop-on-failure -E "$1|$proofs" >"$build/mutate-test.log" 2>&1 ||
    { killer=$(failed_in); return 1; }
  run_proofs "$1" "" && run_proofs '.' "$1"
}

killed=0 total=0 index=0
run_one() {
  local file=$1 after=$2 text=$3 with=$4 fault=$5 tests=$6
  index=$((index + 1))
  [ "$index" -ge "$first" ] && [ "$index" -le "$last" ] || return 0
  total=$((total + 1))
  target=$file
  saved=$(mktemp)
  cp -p "$file" "$saved"
  local verdict
  if ! plant "$file" "$text" "$with" "$after"; then
    verdict="no longer applies"
  elif [ "$check" = 1 ]; then
    verdict=applies
  elif ! build_all; then
    verdict="does not build"
  # The likely tests first; the whole suite only if they let it pass.
  elif ! run_tests "$tests"; then
    verdict=killed
  else
    verdict=survived
  fi
  restore
  [ "$verdict" = killed ] && killed=$((killed + 1))
  printf '%3d %-17s %s: %s%s\n' "$index" "$verdict" "$file" "$fault" "${killer:+ [by ${killer% }]}"
  killer=""
}

file="" after="" text="" with="" fault="" tests=""
flush() {
  if [ -n "$file" ]; then
    [ -n "$text" ] && [ -n "$tests" ] || { echo "$list: a fault without text or tests in $file" >&2; exit 2; }
    run_one "$file" "$after" "$text" "$with" "$fault" "$tests" </dev/null
  fi
  file="" after="" text="" with="" fault="" tests=""
}
while IFS= read -r line <&3 || [ -n "$line" ]; do
  case $line in
    "#"*) ;;
    "") flush ;;
    file:\ *) file=${line#file: } ;;
    after:\ *) after=${line#after: } ;;
    text:\ *) text=${line#text: } ;;
    with:\ *) with=${line#with: } ;;
    fault:\ *) fault=${line#fault: } ;;
    tests:\ *) tests=${line#tests: } ;;
    *) echo "$list: cannot read: $line" >&2; exit 2 ;;
  esac
done 3<"$list"
flush
[ "$check" = 1 ] && exit 0
# The last build holds the last fault: leave the build as the sources are.
build_all || true
echo "mutation: $killed of $total killed"
