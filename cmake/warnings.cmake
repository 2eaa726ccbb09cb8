# Tessera's own targets build warning-free on the compilers CI runs. A
# user's compiler may be newer and warn where ours did not, so warnings
# become errors only where TESSERA_WARNINGS_AS_ERRORS asks for it (CI and
# developers); third-party code built here is never held to it.
function(tessera_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE
      -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow)
  endif()
  set_target_properties(${target} PROPERTIES
    COMPILE_WARNING_AS_ERROR ${TESSERA_WARNINGS_AS_ERRORS})
endfunction()
