#!/usr/bin/env bash
# Installs what is missing, builds Ostrel and starts the viewer.
#   run.sh              also starts the demo camera (ostrel-democam) on
#                       127.0.0.1:8081 and shows its live picture; the camera
#                       stops when the viewer is closed
#   run.sh OPTIONS...   starts only the viewer, with these options
#                       (-name, -host, -port, -ontop, -hide)
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
viewer=build/default/app/ostrel
if [ "$#" -gt 0 ]; then
  exec "$viewer" "$@"
fi

camera=build/default/tools/democam/ostrel-democam
"$camera" --listen 127.0.0.1 --port 8081 &
camera_pid=$!
trap 'kill "$camera_pid" 2>/dev/null || true; wait "$camera_pid" 2>/dev/null || true' EXIT
# Wait until the camera answers (or has given up, say because the port is taken).
for _ in $(seq 50); do
  if ! kill -0 "$camera_pid" 2>/dev/null; then
    echo "The demo camera did not start; showing whatever answers on 127.0.0.1:8081." >&2
    break
  fi
  if (exec 3<>/dev/tcp/127.0.0.1/8081) 2>/dev/null; then
    break
  fi
  sleep 0.1
done
status=0
"$viewer" -host 127.0.0.1 -port 8081 || status=$?
exit "$status"
