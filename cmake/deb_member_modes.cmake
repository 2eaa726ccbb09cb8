# Run by cpack once it has made the package (CPACK_POST_BUILD_SCRIPTS).
# cpack writes into the .deb's ar headers the modes its three members had
# on disk, so the umask cpack ran under reaches the package (100664 under
# umask 002). Each member's mode is set to 100644 here, the mode dpkg-deb
# gives them, in place: the 8-byte field at offset 40 of each 60-byte
# header, all of it ASCII, so nothing else of the file changes.
set(tessera_member_mode "100644  ")

foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  file(READ ${deb} magic LIMIT 8)
  if(NOT magic STREQUAL "!<arch>\n")
    message(FATAL_ERROR "${deb}: not an ar archive")
  endif()
  file(SIZE ${deb} deb_size)
  set(tessera_mode_file ${deb}.mode)
  file(WRITE ${tessera_mode_file} "${tessera_member_mode}")
  set(offset 8)
  while(offset LESS deb_size)
    file(READ ${deb} header OFFSET ${offset} LIMIT 60)
    string(SUBSTRING "${header}" 40 8 mode)
    string(SUBSTRING "${header}" 48 10 member_size)
    string(SUBSTRING "${header}" 58 2 header_end)
    string(STRIP "${member_size}" member_size)
    if(NOT header_end STREQUAL "`\n" OR NOT member_size MATCHES "^[0-9]+$")
      message(FATAL_ERROR "${deb}: no ar member header at offset ${offset}")
    endif()
    if(NOT mode STREQUAL tessera_member_mode)
      math(EXPR mode_offset "${offset} + 40")
      execute_process(
        COMMAND dd of=${deb} bs=1 seek=${mode_offset} conv=notrunc status=none
        INPUT_FILE ${tessera_mode_file} COMMAND_ERROR_IS_FATAL ANY)
    endif()
    # Members start at even offsets; an odd-sized one is padded by a byte.
    math(EXPR offset "${offset} + 60 + ${member_size} + ${member_size} % 2")
  endwhile()
  file(REMOVE ${tessera_mode_file})
endforeach()
