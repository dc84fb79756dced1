# SPDX-License-Identifier: MIT
# Finds the platform's crypt(3) and what it offers beyond POSIX, for
# saltcrypt's configuration header, and the hardening flags that the
# compiler and linker take.  With SALTCRYPT_POSIX_ONLY the extensions are
# taken as missing, so that every fallback is built and tested.

include(CheckCXXCompilerFlag)
include(CheckCXXSourceCompiles)
include(CheckCXXSymbolExists)
include(CheckIncludeFileCXX)
include(CheckLinkerFlag)
include(CMakePushCheckState)

add_library(saltcrypt_crypt INTERFACE)
add_library(saltcrypt::crypt ALIAS saltcrypt_crypt)

# libxcrypt's pkg-config module, where there is one, says where it lives.
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(XCRYPT QUIET IMPORTED_TARGET libxcrypt)
endif()

cmake_push_check_state(RESET)
if(SALTCRYPT_STATIC)
  # A static link takes libcrypt's archive, which pkg-config and
  # find_library would pass over for the shared library.
  find_library(SALTCRYPT_LIBCRYPT_A NAMES libcrypt.a HINTS ${XCRYPT_LIBRARY_DIRS})
  if(NOT SALTCRYPT_LIBCRYPT_A)
    message(FATAL_ERROR "SALTCRYPT_STATIC needs libcrypt.a (Debian: libcrypt-dev)")
  endif()
  target_link_libraries(saltcrypt_crypt INTERFACE ${SALTCRYPT_LIBCRYPT_A})
  target_include_directories(saltcrypt_crypt INTERFACE ${XCRYPT_INCLUDE_DIRS})
endif()
if(TARGET PkgConfig::XCRYPT)
  if(NOT SALTCRYPT_STATIC)
    target_link_libraries(saltcrypt_crypt INTERFACE PkgConfig::XCRYPT)
  endif()
  set(CMAKE_REQUIRED_INCLUDES ${XCRYPT_INCLUDE_DIRS})
  set(CMAKE_REQUIRED_LIBRARIES ${XCRYPT_LINK_LIBRARIES})
endif()

if(SALTCRYPT_POSIX_ONLY)
  set(HAVE_CRYPT_H 0)
else()
  check_include_file_cxx(crypt.h HAVE_CRYPT_H)
endif()
if(HAVE_CRYPT_H)
  set(crypt_header crypt.h)
else()
  set(crypt_header unistd.h)
endif()

# crypt lives in libcrypt, or in the C library itself (musl, the BSDs,
# macOS).
if(NOT TARGET PkgConfig::XCRYPT)
  check_cxx_symbol_exists(crypt ${crypt_header} CRYPT_IN_LIBC)
  if(NOT CRYPT_IN_LIBC)
    set(CMAKE_REQUIRED_LIBRARIES crypt)
    check_cxx_symbol_exists(crypt ${crypt_header} CRYPT_IN_LIBCRYPT)
    if(NOT CRYPT_IN_LIBCRYPT)
      message(FATAL_ERROR "crypt(3) not found: install libcrypt's development files (Debian: libcrypt-dev)")
    endif()
    if(NOT SALTCRYPT_STATIC)
      target_link_libraries(saltcrypt_crypt INTERFACE crypt)
    endif()
  endif()
endif()

if(HAVE_CRYPT_H)
  check_cxx_symbol_exists(crypt_checksalt crypt.h HAVE_CRYPT_CHECKSALT)
  check_cxx_symbol_exists(crypt_gensalt_rn crypt.h HAVE_CRYPT_GENSALT_RN)
endif()
cmake_pop_check_state()

if(NOT SALTCRYPT_POSIX_ONLY)
  check_cxx_symbol_exists(explicit_bzero "string.h;strings.h" HAVE_EXPLICIT_BZERO)
  if(NOT HAVE_EXPLICIT_BZERO)
    cmake_push_check_state(RESET)
    set(CMAKE_REQUIRED_DEFINITIONS -D__STDC_WANT_LIB_EXT1__=1)
    check_cxx_symbol_exists(memset_s string.h HAVE_MEMSET_S)
    cmake_pop_check_state()
  endif()
endif()

# The results are cached: a build directory configured before with the
# extensions keeps them at 1, so POSIX-only sets them to 0 here, over the
# cache, every time.
foreach(have HAVE_CRYPT_H HAVE_CRYPT_CHECKSALT HAVE_CRYPT_GENSALT_RN HAVE_EXPLICIT_BZERO HAVE_MEMSET_S)
  if(SALTCRYPT_POSIX_ONLY OR NOT ${have})
    set(${have} 0)
  endif()
endforeach()

# Hardening: add only what the compiler, the linker and the flags the
# build was given (a distribution's, say) do not already bring.
set(saltcrypt_harden_compile "")
set(saltcrypt_harden_link "")
if(SALTCRYPT_HARDEN)
  # A static PIE is linked with -static-pie, which a later -pie undoes.
  if(NOT CMAKE_CXX_FLAGS MATCHES "-f(no-)?(pie|PIE)" AND NOT SALTCRYPT_STATIC)
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
    include(CheckPIESupported)
    check_pie_supported()
  endif()

  if(NOT CMAKE_CXX_FLAGS MATCHES "-f(no-)?stack-protector")
    check_cxx_compiler_flag(-fstack-protector-strong HAVE_STACK_PROTECTOR_STRONG)
    if(HAVE_STACK_PROTECTOR_STRONG)
      list(APPEND saltcrypt_harden_compile -fstack-protector-strong)
    endif()
  endif()

  # Some compilers fortify by default (Ubuntu's at level 3); fortification
  # needs optimisation and warns without it.
  cmake_push_check_state(RESET)
  set(CMAKE_REQUIRED_FLAGS "${CMAKE_CXX_FLAGS} -O2")
  check_cxx_source_compiles("#include <cstdio>
    #ifndef _FORTIFY_SOURCE
    #error not fortified
    #endif
    int main() { return 0; }" FORTIFIED_BY_DEFAULT)
  cmake_pop_check_state()
  if(NOT FORTIFIED_BY_DEFAULT)
    list(APPEND saltcrypt_harden_compile $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
  endif()

  foreach(flag -Wl,-z,relro -Wl,-z,now)
    string(MAKE_C_IDENTIFIER "HAVE${flag}" have)
    check_linker_flag(CXX ${flag} ${have})
    if(${have} AND NOT CMAKE_EXE_LINKER_FLAGS MATCHES "${flag}")
      list(APPEND saltcrypt_harden_link ${flag})
    endif()
  endforeach()
endif()

check_linker_flag(CXX -Wl,--as-needed HAVE_AS_NEEDED)

if(SALTCRYPT_STATIC)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  check_linker_flag(CXX -static-pie HAVE_STATIC_PIE)
  if(NOT HAVE_STATIC_PIE)
    message(FATAL_ERROR "SALTCRYPT_STATIC needs a toolchain that links a static PIE (-static-pie)")
  endif()
endif()
