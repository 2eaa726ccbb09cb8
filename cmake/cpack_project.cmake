# Read by cpack before it makes a package (CPACK_PROJECT_CONFIG_FILE).
# Without a SOURCE_DATE_EPOCH of the caller's, the package's members are
# dated by the changelog's newest entry, which install.cmake read.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} AND CPACK_TESSERA_SOURCE_DATE_EPOCH)
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_TESSERA_SOURCE_DATE_EPOCH}")
endif()
