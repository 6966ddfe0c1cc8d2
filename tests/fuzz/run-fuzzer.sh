#!/usr/bin/env bash
# Runs one fuzz target over its seeds and then on new inputs for a while,
# and prints one line: executions, coverage reached and corpus size.
#   run-fuzzer.sh FUZZER SEEDS WORK SECONDS
# New inputs that reach more code are kept in WORK/corpus for the next run;
# an input that breaks a property or crashes is saved in WORK/crashes and
# the run fails with libFuzzer's report.
set -euo pipefail
fuzzer="$1" seeds="$2" work="$3" seconds="$4"
name="$(basename "$fuzzer")"
mkdir -p "$work/corpus" "$work/crashes"
log="$work/log"

status=0
# Pictures may legally be up to 256 megapixels, and a few tiny files that do
# not declare their size decode that large (a GIF whose screen is 0 pixels
# high takes ~40 s under the sanitizers): the limits leave room for that and
# catch anything beyond.
"$fuzzer" -max_total_time="$seconds" -timeout=90 -rss_limit_mb=4096 -malloc_limit_mb=3072 \
  -print_final_stats=1 -artifact_prefix="$work/crashes/" "$work/corpus" "$seeds" >"$log" 2>&1 || status=$?

edges="$(grep -oE 'Loaded [0-9]+ modules +\(([0-9]+) inline 8-bit counters' "$log" | grep -oE '\([0-9]+' | tr -d '(' | head -1)"
done_line="$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1)"
runs="$(grep -oE 'stat::number_of_executed_units: [0-9]+' "$log" | grep -oE '[0-9]+$' || true)"
cov="$(grep -oE 'cov: [0-9]+' <<<"$done_line" | grep -oE '[0-9]+' || true)"
ft="$(grep -oE 'ft: [0-9]+' <<<"$done_line" | grep -oE '[0-9]+' || true)"
corpus="$(find "$work/corpus" -type f | wc -l)"
seedcount="$(find "$seeds" -type f 2>/dev/null | wc -l)"
printf '%-22s %9s runs in %ss  cov %s of %s edges  ft %s  corpus %s (%s seeds)\n' \
  "$name" "${runs:-?}" "$seconds" "${cov:-?}" "${edges:-?}" "${ft:-?}" "$corpus" "$seedcount"

# A slow input is reported, not failed: pictures inside the loader's limits
# may take long under the sanitizers, and speed is the benchmarks' business.
if [ "$status" -ne 0 ] && grep -q 'ERROR: libFuzzer: timeout' "$log" && ! grep -qE 'ERROR: (Address|Undefined|Leak)Sanitizer|runtime error|fuzz property broken' "$log"; then
  echo "$name: stopped early by a slow input (kept in $work/crashes), not a failure:"
  grep -E 'timeout after|Test unit written' "$log" | tail -2
  status=0
fi
if [ "$status" -ne 0 ]; then
  tail -n 80 "$log"
  echo "$name failed (status $status); inputs kept in $work/crashes:"
  ls -l "$work/crashes"
  exit 1
fi
