#!/usr/bin/env bash
# Installs what a fresh Debian 12 or 13 machine lacks to build (and, with
# "test", to test and benchmark) Ostrel. Only missing packages are installed.
# Java and clang are the release's own (default-jdk: 17 on Debian 12, 21 on
# 13; clang: 14 on 12, 19 on 13).
#   deps.sh build   packages to build and run
#   deps.sh test    also the test and benchmark libraries and photo fixtures
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
want="${1:-build}"

build_packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-webengine-dev libxcb1-dev zlib1g-dev libpng-dev libseccomp-dev xvfb bubblewrap
  iproute2 default-jdk-headless default-jre)
# The applet tests run on each of these Javas too, where the release has it.
other_javas=(openjdk-25-jre openjdk-26-jre openjdk-27-jre)
test_packages=(libgtest-dev libbenchmark-dev libjpeg-dev xvfb xauth xdotool x11-utils openbox trayer icewm fluxbox xfwm4 dbus-daemon weston xwayland qt6-wayland util-linux
  appstream dpkg-dev file lintian desktop-file-utils clang libclang-rt-dev libjpeg-turbo-progs feh)

packages=("${build_packages[@]}")
optional=()
[ "$want" = test ] && packages+=("${test_packages[@]}") && optional=("${other_javas[@]}")

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
has_candidate() {
  local policy
  policy=$(apt-cache policy "$1" 2>/dev/null)
  [[ "$policy" == *"Candidate: "[!\(]* ]]
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
[ "${#missing[@]}" -gt 0 ] && as_root apt-get update -qq
# What this release does not have is said and left out (trayer left
# Debian's unstable branch); the other Javas are taken where it has them.
wanted=()
for p in "${missing[@]}"; do
  if has_candidate "$p"; then wanted+=("$p"); else echo "Not in this release, left out: $p" >&2; fi
done
for p in "${optional[@]}"; do
  installed "$p" || ! has_candidate "$p" || wanted+=("$p")
done
if [ "${#wanted[@]}" -gt 0 ]; then
  echo "Installing: ${wanted[*]}"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${wanted[@]}"
fi

# Photographs for the encoder's quality tests and benchmarks: scikit-image's
# public-domain samples, unpacked from the Debian package without installing it
# (and its large Python dependencies).
if [ "$want" = test ]; then
  photos="$root/.cache/photos"
  system_photos=/usr/lib/python3/dist-packages/skimage/data
  if [ ! -f "$photos/astronaut.png" ] && [ ! -f "$system_photos/astronaut.png" ]; then
    echo "Fetching photo fixtures (python3-skimage sample images)"
    work="$(mktemp -d)"
    trap 'rm -rf "$work"' EXIT
    (cd "$work" && apt-get download python3-skimage >/dev/null 2>&1) || {
      as_root apt-get update -qq
      (cd "$work" && apt-get download python3-skimage)
    }
    dpkg-deb -x "$work"/python3-skimage_*.deb "$work/x"
    mkdir -p "$photos"
    for f in astronaut.png coffee.png chelsea.png; do
      cp "$work/x$system_photos/$f" "$photos/"
    done
  fi
fi
