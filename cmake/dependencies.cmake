# What each part of the build needs, checked when the project is
# configured: a missing piece stops the configure step with one message
# that says what to install and, for an optional part, which option turns
# it off. The tool itself needs a C++20 compiler and fast_float; only the
# tests and the benchmarks need more.

# tessera_missing(WHAT PACKAGE OPTION) stops with that one message.
function(tessera_missing what package option)
  message(FATAL_ERROR
    "${what} (Debian and Ubuntu: apt-get install ${package}). Install it, "
    "or configure with -D${option}=OFF to build without that part.")
endfunction()

# Options that depend on the compiler.
if(TESSERA_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR
    "TESSERA_FUZZ needs clang's libFuzzer, not ${CMAKE_CXX_COMPILER_ID}: "
    "configure with -DCMAKE_CXX_COMPILER=clang++, or -DTESSERA_FUZZ=OFF.")
endif()

# libc++ (the standard library of clang on macOS and the BSDs, and of
# clang -stdlib=libc++ elsewhere) cannot link libraries built against
# libstdc++, such as Debian's GoogleTest and Google Benchmark.
include(CheckCXXSourceCompiles)
check_cxx_source_compiles([[
#include <version>
#ifndef _LIBCPP_VERSION
#error not libc++
#endif
int main() { return 0; }]] TESSERA_LIBCXX)

# fast_float converts the bump file's plain decimal numbers. It is header
# only: its CMake package where one is installed for this target, else its
# headers alone (a cross build may point TESSERA_FAST_FLOAT_INCLUDE_DIR at
# them: the package's version file refuses other word sizes).
find_package(FastFloat CONFIG QUIET)
if(NOT TARGET FastFloat::fast_float)
  find_path(TESSERA_FAST_FLOAT_INCLUDE_DIR fast_float/fast_float.h
            DOC "Directory holding fast_float/fast_float.h")
  if(NOT TESSERA_FAST_FLOAT_INCLUDE_DIR)
    message(FATAL_ERROR
      "Tessera needs fast_float, a header-only library (Debian and Ubuntu: "
      "apt-get install libfast-float-dev; elsewhere its own package or "
      "https://github.com/fastfloat/fast_float). Install it, or give its "
      "place with -DCMAKE_PREFIX_PATH=<prefix> or "
      "-DTESSERA_FAST_FLOAT_INCLUDE_DIR=<directory holding fast_float/>.")
  endif()
  add_library(FastFloat::fast_float INTERFACE IMPORTED)
  set_target_properties(FastFloat::fast_float PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${TESSERA_FAST_FLOAT_INCLUDE_DIR})
endif()

if(TESSERA_TESTS)
  # Under libc++ GoogleTest is built here from its sources, by default
  # those that Debian's googletest package installs.
  option(TESSERA_GTEST_FROM_SOURCE
         "Build GoogleTest from its sources (on by default with libc++)"
         ${TESSERA_LIBCXX})
  set(TESSERA_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
      "GoogleTest sources for TESSERA_GTEST_FROM_SOURCE")
  if(TESSERA_GTEST_FROM_SOURCE)
    if(NOT EXISTS ${TESSERA_GTEST_SOURCE_DIR}/CMakeLists.txt)
      tessera_missing(
        "The tests need GoogleTest's sources in ${TESSERA_GTEST_SOURCE_DIR} "
        "(set TESSERA_GTEST_SOURCE_DIR to use others)"
        googletest TESSERA_TESTS)
    endif()
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${TESSERA_GTEST_SOURCE_DIR}
                     ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    # Recent GoogleTest sources name their targets GTest::... themselves.
    if(NOT TARGET GTest::gtest)
      add_library(GTest::gtest ALIAS gtest)
      add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
  else()
    find_package(GTest QUIET)
    if(NOT GTest_FOUND)
      tessera_missing("The tests need GoogleTest" libgtest-dev TESSERA_TESTS)
    endif()
  endif()
endif()

if(TESSERA_TESTS OR TESSERA_BENCH)
  # The independent oracle for MD5 and RC4; the tool never links it.
  find_package(OpenSSL 3 QUIET COMPONENTS Crypto)
  if(NOT OpenSSL_FOUND)
    if(TESSERA_TESTS)
      tessera_missing("The tests need OpenSSL 3's libcrypto as an oracle"
                      libssl-dev TESSERA_TESTS)
    endif()
    tessera_missing("The benchmarks need OpenSSL 3's libcrypto as a yardstick"
                    libssl-dev TESSERA_BENCH)
  endif()
endif()

if(TESSERA_BENCH)
  find_package(benchmark QUIET)
  if(NOT benchmark_FOUND)
    tessera_missing("The benchmarks need Google Benchmark" libbenchmark-dev
                    TESSERA_BENCH)
  endif()
  if(TESSERA_LIBCXX AND benchmark_DIR MATCHES "^/usr/lib/")
    message(FATAL_ERROR
      "TESSERA_BENCH: the Google Benchmark in ${benchmark_DIR} is built "
      "against libstdc++ and cannot link with libc++. Point benchmark_DIR at "
      "one built with libc++, or configure with -DTESSERA_BENCH=OFF.")
  endif()
endif()
