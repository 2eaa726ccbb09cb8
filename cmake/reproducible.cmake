# The same sources give the same programs wherever they are built. The
# compilers write the source and build directories into the debugging
# information, and the GNU build ID, which stripping keeps, is a hash over
# it; so the shipped programs and the library they link write both
# directories under fixed names instead: /usr/src/tessera for the source
# tree and /usr/src/tessera/build for the build tree (the generated key
# header lives there). A debugger finds their sources again with
# `set substitute-path /usr/src/tessera <source tree>`. Tests and tools of
# the build keep the real paths, so a failing check names its real file.
# The build tree's mapping comes last: GCC takes the last option that
# matches and clang the longest prefix, so a build tree inside the source
# tree gets its own name under both.
# Included by install.cmake once TESSERA_PROGRAMS names the programs; the
# rest of a reproducible package (permissions, dates) is there too.
if(CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang)$")
  foreach(target IN LISTS TESSERA_PROGRAMS ITEMS tessera_core)
    target_compile_options(${target} PRIVATE
      -ffile-prefix-map=${PROJECT_SOURCE_DIR}=/usr/src/tessera
      -ffile-prefix-map=${PROJECT_BINARY_DIR}=/usr/src/tessera/build)
  endforeach()
endif()
