#!/usr/bin/env bash
# Builds and tests Ostrel on another Debian release, as a new user there
# would: a clean root of that release (debootstrap, minbase), a fresh clone
# of this repository's HEAD in it, then the README's test command inside and
# the package test (the .deb built, installed with apt-get, used, removed).
#   test-in-debian.sh SUITE [TEST_ARGUMENTS...]   e.g. trixie --quick
# The root is kept in .cache/debian/SUITE for the next run (packages that
# the test command installs stay in it). It is entered with bubblewrap, not
# chroot, so that the applet sandbox can still make its namespaces inside.
set -euo pipefail
suite=${1:?usage: test-in-debian.sh SUITE [TEST_ARGUMENTS...]}
shift
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
root="${OSTREL_DEBIAN_ROOTS:-$repo/.cache/debian}/$suite"
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

for tool in debootstrap bwrap git; do
  command -v "$tool" >/dev/null || {
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap bubblewrap git
    break
  }
done
if [ ! -x "$root/usr/bin/apt-get" ]; then
  echo "== making a $suite root in $root =="
  as_root rm -rf "$root"
  mkdir -p "$(dirname "$root")"
  as_root debootstrap --variant=minbase "$suite" "$root" http://deb.debian.org/debian >/dev/null
  # An archive copied at one moment (a mirror, a snapshot) keeps serving the
  # unstable branch's Release file after its short validity ends.
  echo 'Acquire::Check-Valid-Until "false";' | as_root tee "$root/etc/apt/apt.conf.d/99ostrel-archive-copy" >/dev/null
fi
as_root rm -rf "$root/ostrel"
as_root git clone -q "$repo" "$root/ostrel"
# The photo fixtures come from the archive too; reuse what this tree has.
if [ -d "$repo/.cache/photos" ]; then
  as_root mkdir -p "$root/ostrel/.cache"
  as_root cp -r "$repo/.cache/photos" "$root/ostrel/.cache/"
fi
echo "== $suite: $(. "$root/etc/os-release" && echo "$PRETTY_NAME") =="
as_root bwrap --bind "$root" / --bind /proc /proc --dev-bind /dev /dev --tmpfs /run \
  --perms 1777 --tmpfs /tmp --ro-bind /etc/resolv.conf /etc/resolv.conf --setenv HOME /root --setenv PATH /usr/sbin:/usr/bin:/sbin:/bin \
  --unsetenv XDG_RUNTIME_DIR --chdir /ostrel \
  bash -c 'bash scripts/test.sh "$@" && bash scripts/package-test.sh' test-in-debian "$@"
