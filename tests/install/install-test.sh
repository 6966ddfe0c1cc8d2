#!/bin/sh
# Installs the build into a scratch folder and uses the installed programs:
# the files a desktop needs are there and valid, the tools run, and the
# viewer shows the demo camera's live picture with the applet host it
# installed (the build's own copy is hidden meanwhile).
#   install-test.sh BUILD_DIR APP_TESTS
set -eu
build=$1
app_tests=$2
root=$(mktemp -d)
hidden="$build/src/browser/applethost"
restore() {
  [ -d "$hidden.hidden" ] && mv "$hidden.hidden" "$hidden"
  rm -rf "$root"
}
trap restore EXIT
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
usr="$root/usr"
for f in bin/ostrel bin/ostrel-jpeg bin/ostrel-democam libexec/ostrel/AppletHost.jar libexec/ostrel/AppletApi.jar \
         libexec/ostrel/ostrel-applet-host.sh share/applications/io.ostrel.Ostrel.desktop \
         share/metainfo/io.ostrel.Ostrel.metainfo.xml share/icons/hicolor/scalable/apps/ostrel.svg \
         share/icons/hicolor/48x48/apps/ostrel.png share/icons/hicolor/256x256/apps/ostrel.png \
         share/man/man1/ostrel.1.gz share/man/man1/ostrel-jpeg.1.gz share/man/man1/ostrel-democam.1.gz \
         share/doc/ostrel/copyright share/doc/ostrel/changelog.gz; do
  [ -s "$usr/$f" ] || { echo "missing from the install: $f"; exit 1; }
done
grep -q '^Categories=AudioVideo;Video;Viewer;$' "$usr/share/applications/io.ostrel.Ostrel.desktop"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --pedantic --no-net "$usr/share/metainfo/io.ostrel.Ostrel.metainfo.xml"
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$usr/share/applications/io.ostrel.Ostrel.desktop"
fi
"$usr/bin/ostrel" --version | grep -q '^ostrel [0-9]'
printf 'P6\n4 2\n255\n' > "$root/in.ppm"
head -c 24 /dev/urandom >> "$root/in.ppm"
"$usr/bin/ostrel-jpeg" "$root/in.ppm" "$root/out.jpg"
[ "$(head -c 2 "$root/out.jpg" | od -An -tx1 | tr -d ' ')" = ffd8 ]
mv "$hidden" "$hidden.hidden"
OSTREL_TEST_BINARY="$usr/bin/ostrel" "$app_tests" --gtest_filter='LivePicture.TheCameras*'
echo "install test: passed"
