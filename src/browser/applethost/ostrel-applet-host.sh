#!/bin/sh
# Starts an X server that nobody sees, then the applet host on it, so an
# applet never touches the user's display.
#   ostrel-applet-host.sh WIDTH HEIGHT JAVA [JAVA_OPTIONS...] -m HOST HOST_ARGUMENTS...
# The X server ends with the host (it is told to end with its parent, which
# the host replaces, and then removes its socket and lock file). Without GLX, which AWT does not use, the X server
# needs a fifth of the memory.
# Only the host may connect: the server takes connections with a random
# cookie alone (where there is no OS sandbox its sockets are the machine's),
# and no TCP. The cookie's file is removed at once and read through a
# descriptor both keep open, so nothing of it stays on disk.
set -eu
width=$1
height=$2
shift 2
dir=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-applet.XXXXXX")
mkfifo "$dir/display"
# One authority entry for any display: family "wild" (0xffff), no address,
# no display number, then the cookie's name and its 16 random bytes.
{
  printf '\377\377\000\000\000\000\000\022MIT-MAGIC-COOKIE-1\000\020'
  head -c 16 /dev/urandom
} >"$dir/authority"
exec 7<"$dir/authority"
setpriv --pdeathsig TERM Xvfb -displayfd 3 -auth /dev/fd/7 -nolisten tcp -noreset -extension GLX \
  -screen 0 "${width}x${height}x24" 3>"$dir/display" >/dev/null 2>&1 &
display=
read -r display <"$dir/display" || true
rm -rf "$dir"
XAUTHORITY=/dev/fd/7
export XAUTHORITY
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
