# SPDX-License-Identifier: MIT
# Run by cpack once the files are staged: adds what saltcrypt's own
# packages need and an install does not lay out.  The Debian package gets
# its copyright file and changelog, and its manual page gzipped, as Debian
# policy asks; the RPM its manual page compressed with bzip2, as rpmlint
# expects it.
set(root ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${root}/share/doc/${CPACK_PACKAGE_NAME})
# Directories and the files added here would take the builder's umask:
# they get the modes every builder's packages have.
set(readable OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
if(CPACK_GENERATOR STREQUAL "DEB")
  configure_file(${CPACK_RESOURCE_FILE_LICENSE} ${doc}/copyright COPYONLY)
  configure_file(${CPACK_SALTCRYPT_CHANGELOG} ${doc}/changelog COPYONLY)
  file(CHMOD ${doc}/copyright ${doc}/changelog PERMISSIONS ${readable})
  set(compress gzip -9nf ${doc}/changelog)
elseif(CPACK_GENERATOR STREQUAL "RPM")
  set(compress bzip2 -9f)
endif()
if(compress)
  execute_process(COMMAND ${compress} ${root}/share/man/man1/saltcrypt.1 COMMAND_ERROR_IS_FATAL ANY)
endif()
file(CHMOD_RECURSE ${CPACK_TEMPORARY_INSTALL_DIRECTORY}
  DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
