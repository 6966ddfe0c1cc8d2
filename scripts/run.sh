#!/usr/bin/env bash
# Installs what is missing, builds Ostrel and starts it. Extra arguments are
# passed on to the program.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/deps.sh build
cmake --preset default -DOSTREL_BUILD_TESTS=OFF -DOSTREL_BUILD_BENCH=OFF >/dev/null
cmake --build --preset default
# The viewer window arrives with the viewer shell; until then this starts the
# command-line encoder.
if [ "$#" -eq 0 ]; then
  exec build/default/tools/ostrel-jpeg/ostrel-jpeg --help
fi
exec build/default/tools/ostrel-jpeg/ostrel-jpeg "$@"
