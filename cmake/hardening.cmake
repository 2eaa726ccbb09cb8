# Hardening of every target defined after this file, the shipped programs
# and the library they link among them, with GCC and clang on ELF platforms:
# - -fstack-protector-strong: a canary in every function with a local array
#   or an address-taken local;
# - -D_FORTIFY_SOURCE=2 where the configuration optimises (glibc checks
#   buffer sizes only with optimisation, and warns without it);
# - position-independent executables, so the programs load at a random
#   address;
# - -z relro -z now: every symbol bound at start-up, then the relocated
#   data made read-only.
# A packager with flags of its own turns it off (-DTESSERA_HARDENING=OFF)
# and passes them in CMAKE_CXX_FLAGS and CMAKE_EXE_LINKER_FLAGS.
option(TESSERA_HARDENING
       "Stack protector, _FORTIFY_SOURCE=2, PIE and full RELRO (GCC, clang; ELF)" ON)
if(NOT TESSERA_HARDENING)
  return()
endif()
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang)$"
   OR NOT CMAKE_EXECUTABLE_FORMAT STREQUAL "ELF")
  message(STATUS "Hardening: none for ${CMAKE_CXX_COMPILER_ID} on "
                 "${CMAKE_SYSTEM_NAME} (GCC and clang on ELF platforms only)")
  return()
endif()

include(CheckPIESupported)
check_pie_supported(OUTPUT_VARIABLE pie_output LANGUAGES CXX)
if(CMAKE_CXX_LINK_PIE_SUPPORTED)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
else()
  message(WARNING "Hardening: the linker makes no position-independent "
                  "executables here:\n${pie_output}")
endif()

add_compile_options(-fstack-protector-strong)
add_link_options(LINKER:-z,relro LINKER:-z,now)

# _FORTIFY_SOURCE: only in the configurations whose flags optimise (the
# last -O option is not -O0), and never over a choice the user's flags
# already make (-D or -U _FORTIFY_SOURCE). -U first: some compilers define
# it themselves, and a second -D would warn of a redefinition. A sanitized
# build checks those accesses itself, and the fortified calls would pass
# around its interceptors; it is not shipped, so it goes without.
#   tessera_fortifies(CONFIG OUT): whether CONFIG (a build type, maybe
#   empty) gets _FORTIFY_SOURCE from here.
function(tessera_fortifies config out)
  string(TOUPPER "${config}" upper)
  set(flags " ${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${upper}} ")
  set(${out} OFF PARENT_SCOPE)
  if(flags MATCHES "_FORTIFY_SOURCE")
    message(STATUS "Hardening: _FORTIFY_SOURCE as the flags of '${config}' set it")
    return()
  endif()
  string(REGEX MATCHALL "[ \t]-O[^ \t]*" levels "${flags}")
  list(POP_BACK levels level)
  string(STRIP "${level}" level)
  if(level AND NOT level STREQUAL "-O0")
    set(${out} ON PARENT_SCOPE)
  endif()
endfunction()

# One configuration: the flags apply or not. Several (Ninja Multi-Config,
# say): the configurations that optimise get them through $<CONFIG:...>.
get_property(tessera_multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
set(tessera_fortify_flags -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2)
if(TESSERA_SANITIZE)
  message(STATUS "Hardening: no _FORTIFY_SOURCE beside -fsanitize=${TESSERA_SANITIZE}")
elseif(NOT tessera_multi_config)
  tessera_fortifies("${CMAKE_BUILD_TYPE}" fortifies)
  if(fortifies)
    add_compile_options(${tessera_fortify_flags})
  endif()
else()
  set(tessera_fortified "")
  foreach(config IN LISTS CMAKE_CONFIGURATION_TYPES)
    tessera_fortifies("${config}" fortifies)
    if(fortifies)
      list(APPEND tessera_fortified "${config}")
    endif()
  endforeach()
  if(tessera_fortified)
    list(JOIN tessera_fortified "," configs)
    foreach(flag IN LISTS tessera_fortify_flags)
      add_compile_options("$<$<CONFIG:${configs}>:${flag}>")
    endforeach()
  endif()
endif()
