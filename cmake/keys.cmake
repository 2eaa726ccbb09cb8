# The two keys built into Tessera, fixed when the project is configured.
# Each is 32 hex digits, the 16 key bytes in order. The defaults serve for
# trying Tessera out; a site with its own gtk tables configures its own.
set(TESSERA_RECORD_KEY "b62eebfa0e8975a85caba60e7f933c91" CACHE STRING
    "TEA key of gtk records: 32 hex digits, the 16 key bytes in order")
set(TESSERA_KEY_PREFIX "32d87068eedc226ce03216684c5da27d" CACHE STRING
    "First half of the qel RC4 key: 32 hex digits, the 16 bytes in order")

# Turns the 32 hex digits in variable NAME into a C initialiser list in OUT;
# anything else stops the configure step, naming the variable.
function(tessera_key_bytes name out)
  set(hex "${${name}}")
  string(LENGTH "${hex}" length)
  if(NOT length EQUAL 32 OR NOT hex MATCHES "^[0-9A-Fa-f]+$")
    message(FATAL_ERROR
      "${name} must be exactly 32 hex digits (16 bytes), not \"${hex}\"")
  endif()
  set(bytes "")
  foreach(offset RANGE 0 30 2)
    string(SUBSTRING "${hex}" ${offset} 2 byte)
    list(APPEND bytes "0x${byte}")
  endforeach()
  list(JOIN bytes ", " joined)
  set(${out} "${joined}" PARENT_SCOPE)
endfunction()

tessera_key_bytes(TESSERA_RECORD_KEY TESSERA_RECORD_KEY_BYTES)
tessera_key_bytes(TESSERA_KEY_PREFIX TESSERA_KEY_PREFIX_BYTES)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tessera_keys.h.in
               ${CMAKE_CURRENT_BINARY_DIR}/generated/tessera_keys.h @ONLY)
