#!/usr/bin/env bash
# Installs what is missing, builds Ostrel and runs every test with ctest:
# first the optimised build, then the address/undefined-sanitizer build,
# then the fuzz targets (clang), each for a short bounded time.
# Pass --quick to skip the sanitizer and fuzz builds.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/deps.sh test

presets=(default asan fuzz)
[ "${1:-}" = --quick ] && presets=(default)

for preset in "${presets[@]}"; do
  echo "== $preset build =="
  if [ "$preset" = fuzz ]; then
    cmake --preset fuzz >/dev/null
  else
    cmake --preset "$preset" -DOSTREL_BUILD_TESTS=ON -DOSTREL_BUILD_BENCH=ON >/dev/null
  fi
  cmake --build --preset "$preset"
  ctest --preset "$preset" -j2
done
