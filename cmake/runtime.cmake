# How the shipped programs link their runtime.
#
# They need nothing of the C++ runtime when they run: the conversion is
# fast_float's headers, and everything else is the C library. Linked with
# --as-needed they load the C library alone. Without it, a toolchain that
# names its C++ runtime on every link (clang with libc++, for one) makes each
# run load and relocate that runtime: ten times the program's own start-up
# (1.3 million instructions against 0.13 million). Nothing is linked
# statically, so a distribution's runtime updates reach the programs.
#
# The units throw and catch nothing, and are built without exceptions.
# With them, clang gives fast_float's noexcept functions the C++ runtime's
# exception personality, which nothing calls but which still names the C++
# runtime in every object that holds them, so that even --as-needed keeps
# libstdc++: 1.72 million instructions of start-up against 0.13 million.
# The property belongs to the sources, so it holds wherever in this
# directory the units are built into the programs' library.
include(CheckLinkerFlag)
check_linker_flag(CXX "-Wl,--as-needed" TESSERA_LINKER_AS_NEEDED)

function(tessera_program_runtime target)
  if(TESSERA_LINKER_AS_NEEDED)
    target_link_options(${target} PRIVATE -Wl,--as-needed)
  endif()
endfunction()

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  set_source_files_properties(${TESSERA_CORE_SOURCES} PROPERTIES
    COMPILE_OPTIONS -fno-exceptions)
endif()
