# `cpack -G DEB`: a Debian package of the installed program. Library
# dependencies come from dpkg-shlibdeps; the live picture also needs Java,
# a hidden X server, the sandbox, setpriv and ip, which no library names. The
# applet host runs on any Java from 17 on with AWT (not a headless one):
# every such OpenJDK package provides java17-runtime, and default-jre is
# the release's own (17 on Debian 12, 21 on 13, 25 on unstable).
set(CPACK_PACKAGE_NAME ostrel)
set(CPACK_PACKAGE_VENDOR "Ostrel")
set(CPACK_PACKAGE_CONTACT "Ostrel developers <ostrel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Viewer for the live picture of a Brimcast webcam server")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "default-jre | java17-runtime, xvfb, bubblewrap, util-linux, iproute2")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Viewer for the live picture of a Brimcast webcam server
 Ostrel shows a camera server's live picture by running the server's own
 streaming applet in a sandbox, in a window that snaps to six view sizes,
 stays on top and hides to the tray; snapshots are saved as JPEG files.")
include(CPack)
