#!/usr/bin/env bash
# Builds the fuzz targets (clang, address and undefined-behaviour sanitizers)
# and runs each of them for longer than the test suite does.
#   fuzz.sh [SECONDS_EACH] [TARGET...]    default 300 seconds, every target
# Two run at a time. Inputs that reach new code are kept in
# build/fuzz/tests/fuzz/runs/TARGET/corpus (and picked up by the next run);
# copy the good ones into tests/data/fuzz/TARGET to make them seeds.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
seconds="${1:-300}"
shift || true

bash scripts/deps.sh test >/dev/null
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

bin="$root/build/fuzz/tests/fuzz"
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  for f in "$bin"/fuzz_*; do
    [ -f "$f" ] && [ -x "$f" ] && targets+=("$(basename "$f")")
  done
fi

echo "Fuzzing ${#targets[@]} targets for ${seconds} s each"
printf '%s\n' "${targets[@]}" |
  xargs -P 2 -I{} bash tests/fuzz/run-fuzzer.sh "$bin/{}" "$root/tests/data/fuzz/{}" "$bin/runs/{}" "$seconds"
