# `cpack -G DEB`: a Debian package of the installed program, stripped, with
# its debugging symbols in a package of their own (ostrel-dbgsym). Library
# dependencies come from dpkg-shlibdeps; the live picture also needs Java,
# a hidden X server, the sandbox and ip, which no library names (setpriv is
# in util-linux, which every Debian system has). The
# applet host runs on any Java from 17 on with AWT (not a headless one):
# every such OpenJDK package provides java17-runtime, and default-jre is
# the release's own (17 on Debian 12, 21 on 13, 25 on unstable).
set(CPACK_PACKAGE_NAME ostrel)
set(CPACK_PACKAGE_VENDOR "Ostrel")
set(CPACK_PACKAGE_CONTACT "Ostrel developers <developers@ostrel.io>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Viewer for the live picture of a Brimcast webcam server")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON) # strips the programs of the main package itself
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/OstrelDbgsym.cmake)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "default-jre | java17-runtime, xvfb, bubblewrap, iproute2")
# The extended description; CPack puts the summary above it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Ostrel shows a camera server's live picture by running the server's own
streaming applet in a sandbox, in a window that snaps to six view sizes,
stays on top and hides to the tray; snapshots are saved as JPEG files.")
include(CPack)
