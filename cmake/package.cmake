# SPDX-License-Identifier: MIT
# What goes with the command into an installation and its packages: the
# licence and the changelog, and the settings of the Debian and RPM
# packages and of the source tarball.

include(${CMAKE_CURRENT_LIST_DIR}/changelog.cmake)

# Nobody is named here: a packager gives their own name and address.
set(CPACK_PACKAGE_CONTACT "Placeholder Packager <packager@example.invalid>" CACHE STRING
  "Name and address of the packages' maintainer")

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
set(CPACK_RPM_CHANGELOG_FILE ${PROJECT_BINARY_DIR}/rpm-changelog)

# The source tarball holds what git tracks: no build trees, no packages,
# no earlier tarballs.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION})
# CPack writes these into its own configuration, hence the doubled escapes.
set(CPACK_SOURCE_IGNORE_FILES
  "/\\\\.git/" "/build[^/]*/" "/_CPack_Packages/" "\\\\.tar\\\\.gz$" "\\\\.deb$" "\\\\.rpm$" "~$"
  "\\\\.swp$")

# The licence is the packages' copyright file, and the changelog Debian's,
# made from NEWS.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/NEWS)
debian_changelog(${PROJECT_SOURCE_DIR}/NEWS ${PROJECT_NAME} "${CPACK_PACKAGE_CONTACT}"
  ${PROJECT_BINARY_DIR}/changelog)
rpm_changelog(${PROJECT_SOURCE_DIR}/NEWS ${PROJECT_NAME} "${CPACK_PACKAGE_CONTACT}"
  ${PROJECT_BINARY_DIR}/rpm-changelog)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
if(GZIP_EXECUTABLE)
  execute_process(COMMAND ${GZIP_EXECUTABLE} -9nkf changelog WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
else()
  install(FILES ${PROJECT_BINARY_DIR}/changelog DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# An install made as root (sudo cmake --install) writes the install
# manifest into the build directory; made here first, the file stays the
# builder's, and cpack, run as the builder, can write it again.
if(NOT EXISTS ${PROJECT_BINARY_DIR}/install_manifest.txt)
  file(TOUCH ${PROJECT_BINARY_DIR}/install_manifest.txt)
endif()

# Packages and tarballs built twice from one commit are the same to the
# bit: cpack and rpmbuild take their times from SOURCE_DATE_EPOCH, which
# is set for them unless the caller set it.
release_epoch(${PROJECT_SOURCE_DIR}/NEWS ${PROJECT_NAME} SALTCRYPT_SOURCE_DATE_EPOCH)
file(WRITE ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake
  "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})\n  set(ENV{SOURCE_DATE_EPOCH} ${SALTCRYPT_SOURCE_DATE_EPOCH})\nendif()\n")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake)

include(CPack)
