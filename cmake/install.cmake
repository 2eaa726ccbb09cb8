# What `cmake --install` and the Debian package put on a machine: the three
# programs, their manual pages, the README, the copyright file and the
# changelog. Nothing of the tests, the library or the example is installed.
include(GNUInstallDirs)

# The manual pages, one entry per program, relative to the source tree: a
# new program's page is one more entry.
set(TESSERA_MAN_PAGES man/Tessera.1 man/tessera-open.1 man/tessera-table.1)

set(TESSERA_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tessera)
# Every file and directory gets fixed permissions, so the installing umask
# (and the checkout's file modes) do not reach the package.
set(TESSERA_DATA_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(TESSERA_PROGRAM_PERMISSIONS ${TESSERA_DATA_PERMISSIONS}
    OWNER_EXECUTE GROUP_EXECUTE WORLD_EXECUTE)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${TESSERA_PROGRAM_PERMISSIONS})

# Manual pages and the changelog are installed as `gzip -9n` makes them, as
# Debian installs them; man and zless read them so from any prefix. They are
# compressed at build time, into the build tree, where gzip exists; without
# it they are installed as they are.
find_program(TESSERA_GZIP gzip)
mark_as_advanced(TESSERA_GZIP)
set(tessera_compressed "")
# tessera_install_doc(SOURCE DESTINATION): installs the file SOURCE (a path
# relative to the source tree) to DESTINATION, compressed.
function(tessera_install_doc source destination)
  if(NOT TESSERA_GZIP)
    install(FILES ${source} DESTINATION ${destination}
            PERMISSIONS ${TESSERA_DATA_PERMISSIONS})
    return()
  endif()
  set(compressed ${PROJECT_BINARY_DIR}/${source}.gz)
  get_filename_component(compressed_dir ${compressed} DIRECTORY)
  add_custom_command(
    OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${compressed_dir}
    COMMAND ${CMAKE_COMMAND} -DGZIP=${TESSERA_GZIP}
            -DINPUT=${PROJECT_SOURCE_DIR}/${source} -DOUTPUT=${compressed}
            -P ${PROJECT_SOURCE_DIR}/cmake/gzip_file.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/${source} ${PROJECT_SOURCE_DIR}/cmake/gzip_file.cmake
    COMMENT "Compressing ${source}"
    VERBATIM)
  set(tessera_compressed ${tessera_compressed} ${compressed} PARENT_SCOPE)
  install(FILES ${compressed} DESTINATION ${destination}
          PERMISSIONS ${TESSERA_DATA_PERMISSIONS})
endfunction()

# The shipped programs: each is installed, stripped of .comment and .note,
# and built with fixed paths (reproducible.cmake).
set(TESSERA_PROGRAMS Tessera tessera-open tessera-table)
include(${CMAKE_CURRENT_LIST_DIR}/reproducible.cmake)
install(TARGETS ${TESSERA_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        PERMISSIONS ${TESSERA_PROGRAM_PERMISSIONS})
# An install that strips (cpack, `cmake --install --strip`) also drops the
# .comment and .note sections, as Debian's dh_strip does: a stripped program
# would otherwise still carry the compilers' version strings.
if(CMAKE_STRIP)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}")
    set(bindir "${CMAKE_INSTALL_BINDIR}")
  else()
    set(bindir "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}")
  endif()
  foreach(program IN LISTS TESSERA_PROGRAMS)
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
    --remove-section=.note \"\$ENV{DESTDIR}${bindir}/$<TARGET_FILE_NAME:${program}>\"
    COMMAND_ERROR_IS_FATAL ANY)
endif()")
  endforeach()
endif()
foreach(page IN LISTS TESSERA_MAN_PAGES)
  tessera_install_doc(${page} ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES README.md DESTINATION ${TESSERA_DOC_DIR}
        PERMISSIONS ${TESSERA_DATA_PERMISSIONS})
# The changelog, in Debian's format: each version's entry. A package made
# by the project itself (a native package) calls it changelog.gz.
tessera_install_doc(packaging/changelog ${TESSERA_DOC_DIR})
if(tessera_compressed)
  add_custom_target(compressed_docs ALL DEPENDS ${tessera_compressed})
endif()

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
install(FILES ${PROJECT_BINARY_DIR}/packaging/copyright DESTINATION ${TESSERA_DOC_DIR}
        PERMISSIONS ${TESSERA_DATA_PERMISSIONS})

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
# cpack dates every member of the package SOURCE_DATE_EPOCH when that is in
# its environment; when it is not, cmake/cpack_project.cmake sets it to the
# date of the changelog's newest entry, read here, as dpkg-buildpackage
# does. So the same sources give the same package, with or without git.
find_program(TESSERA_DPKG_PARSECHANGELOG dpkg-parsechangelog)
mark_as_advanced(TESSERA_DPKG_PARSECHANGELOG)
set(CPACK_TESSERA_SOURCE_DATE_EPOCH "")
if(TESSERA_DPKG_PARSECHANGELOG)
  set(changelog ${PROJECT_SOURCE_DIR}/packaging/changelog)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
  execute_process(
    COMMAND ${TESSERA_DPKG_PARSECHANGELOG} -l ${changelog} -S Timestamp
    OUTPUT_VARIABLE CPACK_TESSERA_SOURCE_DATE_EPOCH
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endif()
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_project.cmake)
# ... and the umask cpack runs under does not reach the package's members.
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb_member_modes.cmake)
include(CPack)
