# SPDX-License-Identifier: MIT
# Run by cpack once the files are staged: adds what saltcrypt's own
# packages need and an install does not lay out.  The Debian package gets
# its copyright file, its changelog and its manual page compressed, as
# Debian policy asks; rpmbuild compresses the RPM's manual page itself.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(root ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${root}/share/doc/${CPACK_PACKAGE_NAME})
configure_file(${CPACK_RESOURCE_FILE_LICENSE} ${doc}/copyright COPYONLY)
configure_file(${CPACK_SALTCRYPT_CHANGELOG} ${doc}/changelog COPYONLY)
foreach(file ${doc}/changelog ${root}/share/man/man1/saltcrypt.1)
  execute_process(COMMAND gzip -9nf ${file} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
