#!/usr/bin/env bash
# Installs what is missing, builds Ostrel and starts the viewer. Arguments
# are passed on to it (-name, -host, -port, -ontop, -hide).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/deps.sh build
cmake --preset default -DOSTREL_BUILD_TESTS=OFF -DOSTREL_BUILD_BENCH=OFF >/dev/null
cmake --build --preset default
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display to show the viewer on (DISPLAY is not set)." >&2
  exit 1
fi
exec build/default/app/ostrel "$@"
