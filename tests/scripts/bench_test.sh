#!/usr/bin/env bash
# scripts/bench --no-build over a made-up tree: every bench_* program runs, in
# order, without a display, also after one fails; words pick programs by
# name; build leftovers and other files are not run.
set -uo pipefail
bench=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

program() {  # program <path> <exit code>
  mkdir -p "$(dirname "$tree/$1")"
  printf '#!/bin/sh\necho "ran %s on $QT_QPA_PLATFORM"\nexit %s\n' "$(basename "$1")" "$2" >"$tree/$1"
  chmod +x "$tree/$1"
}
program bench/a/bench_alpha 0
program bench/b/bench_beta 3
program bench/c/bench_gamma 0
program bench/a/CMakeFiles/bench_alpha.dir/bench_stale.o 0 && chmod -x "$tree/bench/a/CMakeFiles/bench_alpha.dir/bench_stale.o"
program bench/c/helper 0

out=$(QLF_BENCH_DIR="$tree" "$bench" --no-build 2>&1)
code=$?
[ $code -ne 0 ] || fail "a failed benchmark gave exit code 0"
ran=$(printf '%s\n' "$out" | sed -n 's/^ran \([a-z_]*\) on \(.*\)$/\1 \2/p' | tr '\n' ' ')
[ "$ran" = "bench_alpha offscreen bench_beta offscreen bench_gamma offscreen " ] || fail "ran: $ran"
grep -q '^== bench_beta$' <<<"$out" || fail "no header for bench_beta"
grep -q '^-- bench_beta FAILED (exit code 3)$' <<<"$out" || fail "bench_beta's failure not reported"
grep -q 'benchmarks: 3 run, 1 failed: bench_beta$' <<<"$out" || fail "summary: $(tail -n 1 <<<"$out")"

out=$(QLF_BENCH_DIR="$tree" "$bench" --no-build gam alp 2>&1)
[ $? -eq 0 ] || fail "picked benchmarks failed: $out"
ran=$(printf '%s\n' "$out" | sed -n 's/^ran \([a-z_]*\) on .*$/\1/p' | tr '\n' ' ')
[ "$ran" = "bench_alpha bench_gamma " ] || fail "words picked: $ran"

QLF_BENCH_DIR="$tree" "$bench" --no-build nothing >/dev/null 2>&1 && fail "no match gave exit code 0"
QLF_BENCH_DIR="$tree/none" "$bench" --no-build >/dev/null 2>&1 && fail "an empty tree gave exit code 0"

[ $failures -eq 0 ] && echo "scripts/bench: all checks passed"
exit $((failures > 0))
