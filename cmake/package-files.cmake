# SPDX-License-Identifier: MIT
# Run by cpack once the files are staged: adds what saltcrypt's own
# packages need and an install does not lay out.  The Debian package gets
# its copyright file and changelog, and its manual page gzipped, as Debian
# policy asks; the RPM its manual page compressed with bzip2, as rpmlint
# expects it.
set(root ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${root}/share/doc/${CPACK_PACKAGE_NAME})
if(CPACK_GENERATOR STREQUAL "DEB")
  configure_file(${CPACK_RESOURCE_FILE_LICENSE} ${doc}/copyright COPYONLY)
  configure_file(${CPACK_SALTCRYPT_CHANGELOG} ${doc}/changelog COPYONLY)
  set(compress gzip -9nf ${doc}/changelog)
elseif(CPACK_GENERATOR STREQUAL "RPM")
  set(compress bzip2 -9f)
else()
  return()
endif()
execute_process(COMMAND ${compress} ${root}/share/man/man1/saltcrypt.1 COMMAND_ERROR_IS_FATAL ANY)
