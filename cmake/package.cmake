# SPDX-License-Identifier: MIT
# saltcrypt's own Debian and RPM packages, made by cpack, and the release
# tarball, made by the dist target.  What only these packages need (the
# Debian copyright file and changelog, a compressed manual page) is added
# as cpack makes them (cmake/package-files.cmake), never by cmake
# --install: a distribution packages the program and its manual page and
# writes the rest itself.

include(${CMAKE_CURRENT_LIST_DIR}/changelog.cmake)

# The packages' maintainer is whoever builds them: CPACK_PACKAGE_CONTACT
# when given, else DEBFULLNAME and DEBEMAIL as dch takes them, else git's
# user.  Where none is known, the packages say so rather than name anyone.
if(CPACK_PACKAGE_CONTACT STREQUAL "Placeholder Packager <packager@example.invalid>")
  unset(CPACK_PACKAGE_CONTACT CACHE) # left by saltcrypt 1.1.0 in a build directory
endif()
set(who "$ENV{DEBEMAIL}")
if(NOT who MATCHES "<" AND NOT who STREQUAL "" AND NOT "$ENV{DEBFULLNAME}" STREQUAL "")
  set(who "$ENV{DEBFULLNAME} <${who}>")
endif()
find_package(Git QUIET)
if(NOT who MATCHES "<" AND GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} config user.name WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE name OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  execute_process(COMMAND ${GIT_EXECUTABLE} config user.email WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE email OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  set(who "${name} <${email}>")
endif()
if(NOT CPACK_PACKAGE_CONTACT AND who MATCHES "^[^<]*[^< ] *<[^>]+>$")
  set(CPACK_PACKAGE_CONTACT "${who}")
elseif(NOT CPACK_PACKAGE_CONTACT)
  set(CPACK_PACKAGE_CONTACT "Unknown packager <unknown@example.invalid>")
  message(STATUS "No packager is known, so the packages name none: give -DCPACK_PACKAGE_CONTACT='Name <address>', "
    "or set DEBFULLNAME and DEBEMAIL, or git's user.name and user.email")
endif()

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "The saltcrypt authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "print the crypt(3) hash of a password")
set(CPACK_PACKAGE_DESCRIPTION "\
saltcrypt prompts for a password, reads it from standard input and prints
the hash string that libcrypt's crypt(3) makes of it, for a password file,
a configuration or a test fixture.  The salt is its one argument: a
method prefix such as '$y$' gets a fresh random salt, and a setting with
an empty salt is refused, so that no hash is made unsalted.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package-files.cmake)
set(CPACK_SALTCRYPT_CHANGELOG ${PROJECT_BINARY_DIR}/changelog)

set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Runtime dependencies (libc6, libcrypt1) are read off the binary.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_RPM_PACKAGE_LICENSE MIT)
# RPM summaries start with a capital, Debian ones do not.
set(CPACK_RPM_PACKAGE_SUMMARY "Print the crypt(3) hash of a password")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_RPM_PACKAGE_GROUP "Applications/System")
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
# The system owns the manual's directories, and the package needs no
# links of its own under /usr/lib/.build-id.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/share/man /usr/share/man/man1)
# The packager is the contact, as the Debian package's maintainer is.
# Built twice from the same commit, the RPM is the same to the bit: its
# build time and file times come from SOURCE_DATE_EPOCH, and it names no
# build host.
set(CPACK_RPM_SPEC_MORE_DEFINE "%define _build_id_links none
%define packager ${CPACK_PACKAGE_CONTACT}
%define use_source_date_epoch_as_buildtime 1
%define clamp_mtime_to_source_date_epoch 1
%define _buildhost reproducible")


# An install made as root (sudo cmake --install) writes the install
# manifest into the build directory; made here first, the file stays the
# builder's, and cpack, run as the builder, can write it again.
if(NOT EXISTS ${PROJECT_BINARY_DIR}/install_manifest.txt)
  file(TOUCH ${PROJECT_BINARY_DIR}/install_manifest.txt)
endif()

# Packages built twice from one commit are the same to the bit: cpack and
# rpmbuild take their times from SOURCE_DATE_EPOCH, which is set for them
# unless the caller set it.
release_epoch(SALTCRYPT_SOURCE_DATE_EPOCH)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/NEWS)
debian_changelog(${PROJECT_SOURCE_DIR}/NEWS ${PROJECT_NAME} "${CPACK_PACKAGE_CONTACT}" ${SALTCRYPT_SOURCE_DATE_EPOCH}
  ${PROJECT_BINARY_DIR}/changelog)
file(WRITE ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake
  "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})\n  set(ENV{SOURCE_DATE_EPOCH} ${SALTCRYPT_SOURCE_DATE_EPOCH})\nendif()\n")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake)
# The release tarball is made from git's record of the commit, not from
# the tree, so that the checkout's place, owner and umask make no
# difference: cmake --build BUILD --target dist.
set(CPACK_SOURCE_GENERATOR "")
add_custom_target(dist
  COMMAND sh ${PROJECT_SOURCE_DIR}/tools/dist ${PROJECT_NAME}-${PROJECT_VERSION} ${PROJECT_BINARY_DIR}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} VERBATIM)

include(CPack)
