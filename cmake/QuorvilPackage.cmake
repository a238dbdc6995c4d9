# `cpack -G DEB` in the build folder: quorvil_<version>_amd64.deb with everything
# `cmake --install` puts in place, installed into /usr (options into /etc). Its
# dependencies come from the shared libraries the executables need (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvil)
set(CPACK_PACKAGE_VERSION
    ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.${QUORVIL_BUILD_NUMBER})
set(CPACK_PACKAGE_VENDOR "The Quorvil developers")
set(CPACK_PACKAGE_CONTACT "The Quorvil developers <quorvil@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for aerial photographs and topographic maps")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvil shows aerial photographs and topographic maps of the United States, assembled
from the tiles of a TerraService map service and kept in a disk cache. Find a place by
name or coordinates, pan and zoom, lay the topographic map over the photograph, and copy,
save or print a piece of ground at 1 to 64 metres per pixel.
.
The package holds the viewer, its local map service (with a systemd unit, not enabled,
and an nginx example for several instances), the export tool and the settings tool.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/quorvil/quorvil)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its SVG icon engine at run time, so no library names it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6svg6)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS nginx)
set(quorvil_conffiles ${PROJECT_BINARY_DIR}/debian/conffiles)
file(CONFIGURE OUTPUT ${quorvil_conffiles} CONTENT "/etc/default/quorvil-mapservice\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${quorvil_conffiles})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
