# What `cmake --install` and the Debian package put on a machine: the three
# programs, their manual pages and the README. Nothing of the tests, the
# library or the example is installed.
include(GNUInstallDirs)

install(TARGETS Tessera tessera-open tessera-table RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES man/Tessera.1 man/tessera-open.1 man/tessera-table.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessera)

# `cpack -G DEB` in the build tree. The keys are compiled in, so a package
# serves only the gtk tables of the keys its build was configured with.
set(TESSERA_PACKAGE_MAINTAINER "Tessera maintainers <tessera@example.org>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME tessera)
set(CPACK_PACKAGE_VENDOR "Tessera")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Tessera seals a list of floating-point values to one enciphered entry-table\n"
  "file (a gtk file): the sealed qel file can be opened only with the same\n"
  "table. tessera-open checks a qel file against its table and prints the\n"
  "values; tessera-table lists a table's entries, their count first. All\n"
  "three programs carry the record key and key prefix this package\n"
  "was built with, and serve only the tables made for those keys.")
set(CPACK_PACKAGE_CONTACT "${TESSERA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TESSERA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)  # a package ships no debugging symbols
# Depends is computed from the programs' shared libraries by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
