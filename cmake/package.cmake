# The Debian package, built by CPack from the install rules: `cpack -G DEB` in a build folder,
# or the `package` target. Lands in that build folder as tavrin-server_<version>_<arch>.deb.
set(TAVRIN_PACKAGE_MAINTAINER "Tavrin navigation maintainers <navigation@tavrin.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrin-server)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TAVRIN_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "navigation data server for a research ship and its ROV")
# Debian wants the long description wrapped; CPack keeps these line ends.
set(CPACK_PACKAGE_DESCRIPTION [[
Takes NMEA 0183 sentences from the ship's GPS and gyro compass on UDP
port 38002 and the vehicle's position and depth on UDP port 20289, and
answers queries on UDP port 8080 with a header of 26 channel names or
one status record of their current values.

The package installs the server, a confined systemd unit (not enabled
on install), manual pages and the operator and protocol documents.
Read /usr/share/doc/tavrin-server/operations.md and set up the firewall
before enabling the service: anyone who reaches its ports can inject
positions or query it.]])
# Strip only what goes into the package; the build folder keeps its symbols.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps finds the C and C++ run-time libraries the programs were linked against.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# stdbuf, which the unit runs the server under, is in coreutils, which every system has.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS systemd)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/../packaging/debian/postinst
    ${CMAKE_CURRENT_LIST_DIR}/../packaging/debian/prerm
    ${CMAKE_CURRENT_LIST_DIR}/../packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Source archives are not made here; the repository is the source.
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_SOURCE_IGNORE_FILES "/build/;/\\\\.git/")

include(CPack)
