# The same sources give the same programs wherever they are built. The
# compilers write the source and build directories into the debugging
# information, and the GNU build ID, which stripping keeps, is a hash over
# it; so both directories are written under fixed names instead:
# /usr/src/tessera for the source tree and /usr/src/tessera/build for the
# build tree (the generated key header lives there). A debugger finds the
# sources again with `set substitute-path /usr/src/tessera <source tree>`.
# The build tree's mapping comes last: GCC takes the last option that
# matches and clang the longest prefix, so a build tree inside the source
# tree gets its own name under both.
# The rest of a reproducible package (permissions, times) is in install.cmake.
if(CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang)$")
  add_compile_options(
    -ffile-prefix-map=${PROJECT_SOURCE_DIR}=/usr/src/tessera
    -ffile-prefix-map=${PROJECT_BINARY_DIR}=/usr/src/tessera/build)
endif()
