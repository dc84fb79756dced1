# SPDX-License-Identifier: MIT
# saltcrypt's own Debian and RPM packages, made by cpack, and the release
# tarball, made by the dist target.  What only these packages need (the
# Debian copyright file and changelog, a compressed manual page) is added
# as cpack makes them (cmake/package-files.cmake), never by cmake
# --install: a distribution packages the program and its manual page and
# writes the rest itself.

include(${CMAKE_CURRENT_LIST_DIR}/changelog.cmake)

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
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package-made.cmake)

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
# Built twice from the same commit, the RPM is the same to the bit: its
# build time and file times come from SOURCE_DATE_EPOCH, and it names no
# build host.  Its packager, the Debian package's maintainer, is added as
# cpack runs (cmake/cpack-project.cmake).
set(CPACK_SALTCRYPT_RPM_DEFINES "%define _build_id_links none
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
# unless the caller set it.  Who made them, and the changelogs that name
# that one, are found as cpack runs.
release_epoch(CPACK_SALTCRYPT_SOURCE_DATE_EPOCH)
set(CPACK_SALTCRYPT_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_SALTCRYPT_BINARY_DIR ${PROJECT_BINARY_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack-project.cmake)
# The release tarball is made from git's record of the commit, not from
# the tree, so that the checkout's place, owner and umask make no
# difference: cmake --build BUILD --target dist.
set(CPACK_SOURCE_GENERATOR "")
add_custom_target(dist
  COMMAND sh ${PROJECT_SOURCE_DIR}/tools/dist ${PROJECT_VERSION} ${PROJECT_BINARY_DIR}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} VERBATIM)

include(CPack)
