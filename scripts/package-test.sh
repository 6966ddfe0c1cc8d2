#!/usr/bin/env bash
# Builds the Debian package as a packager would (optimised with debugging
# symbols, no tests), checks it with lintian (any error or warning fails),
# installs it on this machine with apt-get, uses the installed programs, and
# removes it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/package"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_BUILD_TESTS=OFF \
  -DOSTREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build"
(cd "$build" && rm -f ostrel_*.deb ostrel-dbgsym_*.ddeb && cpack -G DEB >/dev/null)
deb=$(ls "$build"/ostrel_*.deb)
echo "== package: $(basename "$deb") =="
dpkg-deb --field "$deb" Depends
if command -v lintian >/dev/null; then
  findings=$(lintian --info --pedantic "$deb" "$build"/ostrel-dbgsym_*.ddeb || true)
  [ -z "$findings" ] || echo "$findings"
  if echo "$findings" | grep -q '^[EW]: '; then
    echo "lintian found errors or warnings in the package" >&2
    exit 1
  fi
  echo "== lintian: no error or warning =="
fi
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
trap 'as_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq ostrel >/dev/null' EXIT
/usr/bin/ostrel --version
work=$(mktemp -d)
printf 'P6\n2 2\n255\n' > "$work/in.ppm"
head -c 12 /dev/urandom >> "$work/in.ppm"
/usr/bin/ostrel-jpeg "$work/in.ppm" "$work/out.jpg"
echo "ostrel-jpeg wrote $(stat -c %s "$work/out.jpg") bytes"
rm -rf "$work"
echo "== package installed, used and removed =="
