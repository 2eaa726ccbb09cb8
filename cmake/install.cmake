# What `cmake --install` and the Debian package put on a machine: the two
# programs, their manual pages, the README and the copyright file. Nothing of the tests, the
# library or the example is installed.
include(GNUInstallDirs)

install(TARGETS Tessera tessera-open RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES man/Tessera.1 man/tessera-open.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
set(TESSERA_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tessera)
install(FILES README.md DESTINATION ${TESSERA_DOC_DIR})

# The licence goes with the programs as Debian's machine-readable copyright
# file, made from LICENSE so the text exists once: the holder from its
# "Copyright (c)" line, the licence from "Permission" on, each line indented
# by one space and an empty line written as " .".
set(TESSERA_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TESSERA_LICENSE})
file(READ ${TESSERA_LICENSE} license)
string(FIND "${license}" "Permission is hereby granted" license_start)
if(NOT license MATCHES "\nCopyright \\(c\\) ([^\n]+)\n" OR license_start LESS 0)
  message(FATAL_ERROR "LICENSE: no \"Copyright (c)\" line or no licence text")
endif()
set(TESSERA_COPYRIGHT "${CMAKE_MATCH_1}")
string(SUBSTRING "${license}" ${license_start} -1 license)
string(STRIP "${license}" license)
string(REGEX REPLACE "\n\n+" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " TESSERA_LICENSE_TEXT "${license}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in
               ${PROJECT_BINARY_DIR}/packaging/copyright @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/copyright DESTINATION ${TESSERA_DOC_DIR})

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
  "values. Both programs carry the record key and key prefix this package\n"
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
