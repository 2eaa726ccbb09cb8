# How the shipped programs link their runtime.
#
# They need nothing of the C++ runtime when they run: the conversion is
# fast_float's headers, and everything else is the C library. Linked with
# --as-needed they load the C library alone. Without it, a toolchain that
# names its C++ runtime on every link (clang with libc++, for one) makes each
# run load and relocate that runtime: ten times the program's own start-up
# (1.3 million instructions against 0.13 million). Nothing is linked
# statically, so a distribution's runtime updates reach the programs.
include(CheckLinkerFlag)
check_linker_flag(CXX "-Wl,--as-needed" TESSERA_LINKER_AS_NEEDED)

function(tessera_program_runtime target)
  if(TESSERA_LINKER_AS_NEEDED)
    target_link_options(${target} PRIVATE -Wl,--as-needed)
  endif()
endfunction()
