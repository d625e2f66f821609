# `cpack -G DEB` in the build folder: one package with the programs, the
# library and what building against it needs, installed under /usr.
set(QUARNEL_PACKAGE_MAINTAINER "quarnel maintainers <maintainers@quarnel.example>"
  CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarnel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${QUARNEL_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware-over-the-air update pack builder")
# Debian shows the description as written, so its lines are kept short.
set(CPACK_PACKAGE_DESCRIPTION "\
Builds one pack file that turns the image a device's code flash holds now
into the image it should run next, in place, one erase unit at a time. The
images are LOD text dumps; the pack is a short header and an LZMA-compressed
patch stream. Every pack is played on a model of the flash before it is
written.

The package holds the console program packcli, the verifier packcheck, the
signer packsign, lodconvert, which turns ELF, Intel HEX, S-record and raw
binary images into LOD files, the desktop program packgui, the shared
library libquarnel with its header, pkg-config file and CMake package, and
the static device-side applier libquarnel_apply with its header and
pkg-config file.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QUARNEL_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The encoder is asked for a stream without end marker, which liblzma knows from
# 5.4 on; the symbols alone would let an older one through.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "liblzma5 (>= 5.4.0)")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# Lets dpkg refresh the linker cache once after installing, as Debian asks of shared libraries.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/triggers)

include(CPack)
