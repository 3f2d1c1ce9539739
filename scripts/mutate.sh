#!/usr/bin/env bash
# Plants the faults of scripts/mutants.txt in the core one at a time,
# rebuilds the core and its tests (build/mutate), and runs them. First the
# whole suite runs without a fault (the baseline): when it does not pass, no
# score. A fault is "killed" only when a test reports a failure; one the
# suite lets pass "survived"; a time-out, a crashed runner and a fault that
# does not build count apart and are named at the end. Prints the baseline,
# one line a fault, then the score.
#   scripts/mutate.sh [FIRST [LAST]]   only faults FIRST..LAST (1-based)
#   scripts/mutate.sh --check          only whether each fault still applies
#   scripts/mutate.sh --per-suite ...  every suite runs whole on each fault and all
#                                      that catch it are named, to find each suite's
#                                      unique kills (the long proofs only when no
#                                      other suite catches the fault)
# MUTATE_LIST: another list (faults being tried); MUTATE_JOBS: parallel jobs
# (2); MUTATE_PROOF_SECONDS: the limit of each long proof (3600).
# Not part of ./test.sh: it takes about a minute a fault, and the baseline
# (the whole suite with its proofs) once at the start.
set -euo pipefail
cd "$(dirname "$0")/.."
list=${MUTATE_LIST:-scripts/mutants.txt}
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

# What a run of tests came to: "failed" only when a test reported a failure;
# a test that ran out of time ("timed out") or a runner that ended by a
# signal, was not run or could not start ("crashed") is no finding of a test,
# and counts apart. `why` names the tests.
outcome=pass why=""
note() {  # outcome of one stage, names
  case $1 in
    pass) ;;
    failed) outcome=failed why=$2 ;;
    *) [ "$outcome" = pass ] && { outcome=$1 why=$2; } ;;
  esac
  return 0
}

# The two long proofs (every failing call, every kill point) run as their
# own programs, side by side: under load they outlast ctest's time limits.
# Their own limit only ends one that hangs.
proofs='^(fault_sweep|crash)$'
proof_programs=("$build/tests/proof/fault_sweep_tests" "$build/tests/proof/crash_tests")
proof_names=(fault_sweep crash)
proof_limit=${MUTATE_PROOF_SECONDS:-3600}
run_proofs() {  # the proofs whose names match $1 (and not $2)
  local pids=() names=() i code
  for i in 0 1; do
    if [[ ${proof_names[$i]} =~ $1 ]] && { [ -z "$2" ] || ! [[ ${proof_names[$i]} =~ $2 ]]; }; then
      timeout --kill-after=30 "$proof_limit" "${proof_programs[$i]}" >"$build/mutate-proof-$i.log" 2>&1 &
      pids+=($!)
      names+=("${proof_names[$i]}")
    fi
  done
  for i in "${!pids[@]}"; do
    code=0
    wait "${pids[$i]}" || code=$?
    case $code in
      0) ;;
      1) note failed "${names[$i]}" ;;  # a test of it reported a failure
      124 | 137) note "timed out" "${names[$i]}" ;;
      *) note crashed "${names[$i]} (exit $code)" ;;
    esac
  done
}
# One ctest run (its arguments); its outcome by what ctest lists at its end.
run_ctest() {
  local log=$build/mutate-test.log listed code=0
  ctest --test-dir "$build" -j "$jobs" --timeout 600 "$@" >"$log" 2>&1 || code=$?
  [ "$code" = 0 ] && return
  listed=$(sed -nE 's/^[[:space:]]+[0-9]+ - (.*)$/\1/p' "$log")
  names_of() { grep -E "$1" <<<"$listed" | sed -E 's/ \([^()]*\)$//' | head -3 | tr '\n' ' ' | sed 's/ $//'; }
  if grep -q ' (Failed)$' <<<"$listed"; then
    note failed "$(names_of ' \(Failed\)$')"
  elif grep -q ' (Timeout)$' <<<"$listed"; then
    note "timed out" "$(names_of ' \(Timeout\)$')"
  else
    note crashed "$( [ -n "$listed" ] && names_of . || echo ctest)"
  fi
}
# The suites of the failures, for --per-suite.
suites_of() { tr ' ' '\n' <<<"$1" | sed 's/\..*//' | sort -u | tr '\n' ' ' | sed 's/ $//'; }
# Every test suite whole; the long proofs when no other suite caught the fault.
run_every_suite() {
  run_ctest -E "$proofs"
  if [ "$outcome" = failed ]; then
    # Every failed suite by its name, not the first three tests.
    why=$(sed -nE 's/^[[:space:]]+[0-9]+ - ([^.]*)\..* \(Failed\)$/\1/p' "$build/mutate-test.log" | sort -u | tr '\n' ' ' | sed 's/ $//')
    return
  fi
  run_proofs '.' ''
}
# The likely tests ($1), then the rest of the suite, the proofs last; the
# first failure a test reports ends it.
run_tests() {
  outcome=pass why=""
  [ "$per_suite" = 1 ] && { run_every_suite; return; }
  run_ctest --stop-on-failure -R "$1" -E "$proofs"
  [ "$outcome" = failed ] && return
  run_ctest --stop-on-failure -E "$1|$proofs"
  [ "$outcome" = failed ] && return
  run_proofs "$1" ""
  [ "$outcome" = failed ] && return
  run_proofs '.' "$1"
}

# Before any fault: the whole suite passes, or no score means anything.
if [ "$check" = 0 ]; then
  build_all || { echo "baseline: the sources as they are do not build ($build/mutate-build.log)" >&2; exit 1; }
  outcome=pass why=""
  run_ctest -E "$proofs"
  run_proofs '.' ''
  if [ "$outcome" != pass ]; then
    echo "baseline: without a fault the suite does not pass ($outcome: $why): no score" >&2
    exit 1
  fi
  baseline=$(sed -nE 's/.*tests passed, 0 tests failed out of ([0-9]+).*/\1/p' "$build/mutate-test.log")
  echo "baseline: without a fault all ${baseline:-?} tests and the proofs (${proof_names[*]}) pass"
fi

killed=0 total=0 index=0
apart=()  # "verdict: numbers" of the faults neither killed nor survived
declare -A apart_of=()
run_one() {
  local file=$1 after=$2 text=$3 with=$4 fault=$5 tests=$6
  index=$((index + 1))
  [ "$index" -ge "$first" ] && [ "$index" -le "$last" ] || return 0
  total=$((total + 1))
  target=$file
  saved=$(mktemp)
  cp -p "$file" "$saved"
  local verdict
  why=""
  if ! plant "$file" "$text" "$with" "$after"; then
    verdict="no longer applies"
  elif [ "$check" = 1 ]; then
    verdict=applies
  elif ! build_all; then
    verdict="does not build"
  else
    # The likely tests first; the whole suite only if they let it pass.
    run_tests "$tests"
    case $outcome in
      failed) verdict=killed ;;
      pass) verdict=survived ;;
      *) verdict=$outcome ;;
    esac
  fi
  restore
  case $verdict in
    killed) killed=$((killed + 1)) ;;
    survived | applies) ;;
    *) apart_of[$verdict]+=" $index" ;;
  esac
  local by=""
  [ -n "$why" ] && by=" [$([ "$verdict" = killed ] && echo by || echo in) $why]"
  printf '%3d %-17s %s: %s%s\n' "$index" "$verdict" "$file" "$fault" "$by"
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
[ "$check" = 1 ] && { [ ${#apart_of[@]} = 0 ] || exit 1; exit 0; }
# The last build holds the last fault: leave the build as the sources are.
build_all || true
echo "mutation: $killed of $total killed ($((total > 0 ? killed * 100 / total : 0))%)"
for verdict in "timed out" crashed "does not build" "no longer applies"; do
  [ -n "${apart_of[$verdict]:-}" ] && echo "  apart from the kills, $verdict:${apart_of[$verdict]}"
done
exit 0
