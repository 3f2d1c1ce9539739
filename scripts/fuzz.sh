#!/usr/bin/env bash
# libFuzzer targets (fuzz/<target>_fuzz.cpp), built with clang, AddressSanitizer
# and UBSan in build/fuzz (preset fuzz), each with its seed corpus in
# fuzz/corpus/<target>/.
#   scripts/fuzz.sh [SECONDS]  fuzzes each target for SECONDS (default 300), one
#                              after another, then makes fuzz/corpus/<target>/
#                              the seeds and the fewest inputs (old and new)
#                              that reach every branch reached, so it stays small
#   scripts/fuzz.sh --check    the quick regression run of test.sh: each target
#                              over its corpus and a few thousand inputs more,
#                              the committed corpus left as it is
#   FUZZ_TARGETS="a b"         limits the run to these targets
# Prints "fuzz <target>: <executions> executions, <findings> findings" per
# target. A finding keeps its input (and, after a fuzzing run, a minimised
# one) in build/fuzz/findings/<target>/ and makes the script exit non-zero.
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh

mode=fuzz
seconds=300
case "${1:-}" in
  --check) mode=check ;;
  '') ;;
  *[!0-9]*) echo "usage: scripts/fuzz.sh [SECONDS | --check]" >&2; exit 2 ;;
  *) seconds=$1 ;;
esac

ensure_packages "${FUZZ_PACKAGES[@]}" || exit 1
cmake --preset fuzz >/dev/null || exit 1
cmake --build --preset fuzz -j "$(nproc)" >/dev/null || { cmake --build --preset fuzz -j 1; exit 1; }

build=build/fuzz
if [ -n "${FUZZ_TARGETS:-}" ]; then
  read -r -a targets <<<"$FUZZ_TARGETS"
else
  targets=()
  for source in fuzz/*_fuzz.cpp; do
    name="$(basename "$source" _fuzz.cpp)"
    targets+=("$name")
  done
fi

status=0
for target in "${targets[@]}"; do
  exe="$build/fuzz/fuzz_$target"
  corpus="fuzz/corpus/$target"
  findings="$build/findings/$target"
  work="$build/corpus-work/$target"  # new inputs land here, never in the committed corpus directly
  log="$build/logs/$target.log"
  rm -rf "$findings" "$work"
  mkdir -p "$findings" "$work" "$corpus" "$(dirname "$log")"
  if [ "$mode" = check ]; then
    limits=(-runs=3000 -max_total_time=20 -seed=1)
  else
    limits=(-max_total_time="$seconds")
  fi
  # A unit slower than 10 s counts as a hang; sanitizer reports end the run.
  "$exe" "${limits[@]}" -timeout=10 -print_final_stats=1 -artifact_prefix="$findings/" \
    "$work" "$corpus" >"$log" 2>&1
  rc=$?
  executions="$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' | tail -1)"
  count="$(find "$findings" -type f | wc -l)"
  # A failure that left no input behind (a crash while loading the corpus) counts too.
  [ "$rc" -ne 0 ] && [ "$count" -eq 0 ] && count=1
  echo "fuzz $target: ${executions:-0} executions, $count findings"

  if [ "$count" -gt 0 ]; then
    status=1
    grep -E -A12 'property failed|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error' "$log" | head -40 | sed 's/^/  /'
    first="$(find "$findings" -type f | sort | head -1)"
    if [ "$mode" = fuzz ] && [ -n "$first" ]; then
      "$exe" -minimize_crash=1 -max_total_time=60 -exact_artifact_path="$findings/minimised" "$first" \
        >"$build/logs/$target.minimise.log" 2>&1 || true
    fi
    echo "  input: ${first:-none saved}; log: $log"
  elif [ "$mode" = fuzz ]; then
    # The corpus anew: the hand-written seeds (named files), then the fewest
    # inputs of the old corpus and of this run that reach every branch they
    # reach (counted by branch, not by how often: else every loop length
    # would be kept).
    before="$(find "$corpus" -type f | wc -l)"
    minimal="$build/corpus-min/$target"
    rm -rf "$minimal"
    mkdir -p "$minimal"
    find "$corpus" -type f -regextype posix-extended ! -regex '.*/[0-9a-f]{40}' -exec cp {} "$minimal/" \;
    if "$exe" -merge=1 -use_counters=0 "$minimal" "$corpus" "$work" >"$build/logs/$target.merge.log" 2>&1; then
      find "$corpus" -type f -delete
      cp "$minimal"/* "$corpus"/
    else
      status=1
    fi
    echo "  corpus: $before -> $(find "$corpus" -type f | wc -l) inputs"
  fi
done
exit "$status"
