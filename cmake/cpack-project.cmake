# SPDX-License-Identifier: MIT
# Read by cpack as it makes each package, not at configure time, so that
# the packages name whoever makes them, in a build directory configured
# by anyone: CPACK_PACKAGE_CONTACT when given, else as Debian's own tools
# find the maintainer (DEBFULLNAME or NAME, DEBEMAIL or EMAIL, which may
# be "Name <address>"), then git's user.name and user.email, then, as dch
# does, the account's full name or login and the login at the host's
# mail name.  The packages' times and changelogs follow.

if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_SALTCRYPT_SOURCE_DATE_EPOCH})
endif()

function(saltcrypt_packager out)
  set(name "$ENV{DEBFULLNAME}")
  if(name STREQUAL "")
    set(name "$ENV{NAME}")
  endif()
  set(email "$ENV{DEBEMAIL}")
  if(email STREQUAL "")
    set(email "$ENV{EMAIL}")
  endif()
  if(email MATCHES "^(.*[^ ]) *<([^>]+)>$")
    set(email "${CMAKE_MATCH_2}")
    if(name STREQUAL "")
      set(name "${CMAKE_MATCH_1}")
    endif()
  endif()
  find_program(git git)
  foreach(field name email)
    if(${field} STREQUAL "" AND git)
      execute_process(COMMAND ${git} config user.${field} WORKING_DIRECTORY ${CPACK_SALTCRYPT_SOURCE_DIR}
        OUTPUT_VARIABLE ${field} OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
  endforeach()
  execute_process(COMMAND id -un OUTPUT_VARIABLE login OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(name STREQUAL "")
    execute_process(COMMAND getent passwd ${login} OUTPUT_VARIABLE account ERROR_QUIET)
    string(REGEX REPLACE "^[^:]*:[^:]*:[^:]*:[^:]*:([^:,]*).*" "\\1" name "${account}")
    if(name STREQUAL "" OR name STREQUAL account)
      set(name "${login}")
    endif()
  endif()
  if(email STREQUAL "")
    if(EXISTS /etc/mailname)
      file(STRINGS /etc/mailname mailname LIMIT_COUNT 1)
    else()
      cmake_host_system_information(RESULT mailname QUERY FQDN)
    endif()
    set(email "${login}@${mailname}")
  endif()
  set(${out} "${name} <${email}>" PARENT_SCOPE)
endfunction()

if(NOT CPACK_PACKAGE_CONTACT)
  saltcrypt_packager(CPACK_PACKAGE_CONTACT)
endif()
set(CPACK_RPM_SPEC_MORE_DEFINE "${CPACK_SALTCRYPT_RPM_DEFINES}\n%define packager ${CPACK_PACKAGE_CONTACT}")
include(${CPACK_SALTCRYPT_SOURCE_DIR}/cmake/changelog.cmake)
set(CPACK_SALTCRYPT_CHANGELOG ${CPACK_SALTCRYPT_BINARY_DIR}/changelog)
set(CPACK_RPM_CHANGELOG_FILE ${CPACK_SALTCRYPT_BINARY_DIR}/rpm-changelog)
package_changelogs(${CPACK_SALTCRYPT_SOURCE_DIR}/NEWS "${CPACK_PACKAGE_CONTACT}" ${CPACK_SALTCRYPT_CHANGELOG}
  ${CPACK_RPM_CHANGELOG_FILE})
