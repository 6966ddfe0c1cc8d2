#!/bin/sh
# Starts an X server that nobody sees, then the applet host on it, so an
# applet never touches the user's display.
#   ostrel-applet-host.sh JAVA HOST_JAR WIDTH HEIGHT HOST_ARGUMENTS...
# The X server ends with the host (it is told to die with its parent, which
# the host replaces). Without GLX, which AWT does not use, the X server
# needs a fifth of the memory.
set -eu
java=$1
jar=$2
width=$3
height=$4
shift 4
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
# The Java's reservations are kept small, so that the address-space limit
# Ostrel sets leaves room for the applet and bounds what it can take.
MALLOC_ARENA_MAX=2
export MALLOC_ARENA_MAX
exec "$java" -Djava.security.manager=allow -XX:+UseSerialGC -XX:TieredStopAtLevel=1 -XX:-UsePerfData -Xmx96m \
  -XX:CompressedClassSpaceSize=48m -XX:MaxMetaspaceSize=96m -XX:ReservedCodeCacheSize=32m \
  -XX:MaxDirectMemorySize=32m -Djava.awt.headless=false -cp "$jar" AppletHost "$@"
