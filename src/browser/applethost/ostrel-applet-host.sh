#!/bin/sh
# Starts an X server that nobody sees, then the applet host on it, so an
# applet never touches the user's display.
#   ostrel-applet-host.sh WIDTH HEIGHT JAVA [JAVA_OPTIONS...] -m HOST HOST_ARGUMENTS...
# The X server ends with the host (it is told to die with its parent, which
# the host replaces). Without GLX, which AWT does not use, the X server
# needs a fifth of the memory.
set -eu
width=$1
height=$2
shift 2
dir=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-applet.XXXXXX")
mkfifo "$dir/display"
setpriv --pdeathsig KILL Xvfb -displayfd 3 -nolisten tcp -noreset -extension GLX -screen 0 "${width}x${height}x24" \
  3>"$dir/display" >/dev/null 2>&1 &
display=
read -r display <"$dir/display" || true
rm -rf "$dir"
if [ -z "$display" ]; then
  echo "status The applet's hidden display could not be started (Xvfb)"
  exit 1
fi
DISPLAY=":$display"
export DISPLAY
# Few malloc arenas, so that the address-space limit Ostrel sets is spent
# on the applet rather than on reservations.
MALLOC_ARENA_MAX=2
export MALLOC_ARENA_MAX
exec "$@"
