# Installation and the Debian package on Linux (and other non-Windows systems).
# `cmake --install <build>` puts tobrisk, tobrisk-measure and their -sim twins into bin/, the udev rule
# for the Wii Remote into lib/udev/rules.d, and the desktop entry, icon, AppStream
# metainfo, manual page, changelog and copyright (the MIT licence) under share/. `cpack -G DEB` in the build folder
# (tools/build-deb) builds tobrisk_<version>_<arch>.deb from the same rules.
include(GNUInstallDirs)

# A neutral project address that names no machine; a distributor sets their own.
set(TOBRISK_MAINTAINER "Tobrisk maintainers <maintainers@tobrisk.invalid>"
  CACHE STRING "Maintainer of the Debian package: Name <address>")
# udev reads /usr/lib/udev/rules.d and /etc/udev/rules.d; under another prefix the
# rule must be copied to /etc/udev/rules.d by hand (README).
set(TOBRISK_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
  "Where the udev rule goes, relative to the install prefix")

set(packaging_source ${PROJECT_SOURCE_DIR}/packaging/linux)
set(packaging_binary ${PROJECT_BINARY_DIR}/packaging/linux)

# The files that carry the version or the maintainer, and their gzip -9n copies
# (no name, no time stamp, so the package is reproducible); redone when a source
# file changes.
configure_file(${packaging_source}/tobrisk.1 ${packaging_binary}/tobrisk.1 @ONLY)
configure_file(${packaging_source}/tobrisk-measure.1 ${packaging_binary}/tobrisk-measure.1 @ONLY)
configure_file(${packaging_source}/changelog ${packaging_binary}/changelog @ONLY)
configure_file(${packaging_source}/copyright ${packaging_binary}/copyright @ONLY)
foreach(page tobrisk.1 tobrisk-measure.1 changelog)
  execute_process(COMMAND gzip -9nc ${packaging_binary}/${page}
    OUTPUT_FILE ${packaging_binary}/${page}.gz COMMAND_ERROR_IS_FATAL ANY)
endforeach()

install(TARGETS tobrisk tobrisk-sim tobrisk-measure tobrisk-measure-sim
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/udev/70-tobrisk-wiimote.rules
  DESTINATION ${TOBRISK_UDEV_RULES_DIR})
install(FILES ${packaging_source}/tobrisk.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging_source}/tobrisk.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${packaging_source}/org.tobrisk.Tobrisk.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging_binary}/tobrisk.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_binary}/tobrisk.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
  RENAME tobrisk-sim.1.gz)
install(FILES ${packaging_binary}/tobrisk-measure.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_binary}/tobrisk-measure.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
  RENAME tobrisk-measure-sim.1.gz)
install(FILES ${packaging_binary}/changelog.gz ${packaging_binary}/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tobrisk)

# The Debian package. Its dependencies are the shared libraries the programs link,
# as dpkg-shlibdeps finds them (libcairo2, libx11-6, libhidapi-hidraw0, the C and
# C++ runtimes).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tobrisk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TOBRISK_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TOBRISK_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "live bars of a Wii Remote's accelerations and gyro reading
Tobrisk is a small desktop tool for testing a gyro sensor that is read
through a Wii Remote. It opens the remote over its hidraw node, lights its
LEDs, samples a 16-bit gyro register as fast as the remote answers, and shows
the three raw accelerations and the signed gyro reading as live bars in one
window.

The package holds tobrisk, for real remotes, tobrisk-sim, the same program
around a simulated remote, tobrisk-measure (and tobrisk-measure-sim), a console
companion that measures the sensor's bias, noise and rate and judges them
against thresholds, and a udev rule that lets the person at the seat open the
remote's hidraw node.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${packaging_source}/postinst ${packaging_source}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
