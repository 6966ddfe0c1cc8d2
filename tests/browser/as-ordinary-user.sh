#!/bin/sh
# Runs a test program as an ordinary user (nobody) when started by root, so
# that what holds for root is seen to hold for a user too. Skipped (77)
# when not root, or when nobody cannot reach the build.
#   as-ordinary-user.sh PROGRAM ARGUMENTS...
set -eu
if [ "$(id -u)" -ne 0 ]; then
  echo "not root: the tests run as this user already"
  exit 77
fi
user=65534
if ! setpriv --reuid=$user --regid=$user --clear-groups test -x "$1"; then
  echo "user $user cannot reach $1"
  exit 77
fi
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
chown $user "$home"
setpriv --reuid=$user --regid=$user --clear-groups env -u XDG_RUNTIME_DIR HOME="$home" "$@"
