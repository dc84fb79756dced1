# SPDX-License-Identifier: MIT
# Run by cpack once it has made a package, so that two builders make the
# same bytes whatever their umask and their file system's order.
if(CPACK_GENERATOR STREQUAL "DEB")
  # cpack gives the members of a .deb (debian-binary, control.tar.gz,
  # data.tar.gz) the modes that the umask leaves: each gets 0644, as
  # dpkg-deb gives them, in its ar header, whose mode field starts 40
  # bytes in and whose size field 48.
  foreach(deb IN LISTS CPACK_PACKAGE_FILES)
    file(SIZE ${deb} end)
    set(header 8) # past "!<arch>\n"
    while(header LESS end)
      math(EXPR mode "${header} + 40")
      execute_process(COMMAND printf "100644  "
        COMMAND dd of=${deb} bs=1 seek=${mode} conv=notrunc status=none COMMAND_ERROR_IS_FATAL ANY)
      math(EXPR at "${header} + 48")
      file(READ ${deb} size OFFSET ${at} LIMIT 10)
      string(STRIP "${size}" size)
      math(EXPR header "${header} + 60 + ${size} + ${size} % 2")
    endwhile()
  endforeach()
elseif(CPACK_GENERATOR STREQUAL "TGZ")
  # cpack archives the files in the order the file system lists them: the
  # binary tarball is packed again in the order of their names.
  foreach(tgz IN LISTS CPACK_PACKAGE_FILES)
    set(unpacked ${CPACK_TOPLEVEL_DIRECTORY}/unpacked)
    file(REMOVE_RECURSE ${unpacked})
    file(MAKE_DIRECTORY ${unpacked})
    execute_process(COMMAND tar -xzf ${tgz} -C ${unpacked} COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND tar -C ${unpacked} --sort=name --format=gnu --owner=0 --group=0 --numeric-owner --mode=u+rw,go=u-w
                            --mtime=@$ENV{SOURCE_DATE_EPOCH} -cf - ${CPACK_PACKAGE_FILE_NAME}
      COMMAND gzip -9n OUTPUT_FILE ${tgz} COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE ${unpacked})
  endforeach()
endif()
