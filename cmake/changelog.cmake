# SPDX-License-Identifier: MIT
# The time of the release, the SOURCE_DATE_EPOCH that the packages take
# their times from, and the Debian package's changelog made from NEWS,
# whose entries start "saltcrypt VERSION (YYYY-MM-DD)".

# The time the release is dated by: the caller's SOURCE_DATE_EPOCH, else
# the last commit's, else, in a release tarball, whose files all carry
# the commit's time, the time of NEWS.
function(release_epoch out)
  if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(${out} $ENV{SOURCE_DATE_EPOCH} PARENT_SCOPE)
    return()
  endif()
  find_package(Git QUIET)
  if(GIT_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
    if(NOT failed AND commit MATCHES "^[0-9]+$")
      set(${out} ${commit} PARENT_SCOPE)
      return()
    endif()
  endif()
  file(TIMESTAMP ${PROJECT_SOURCE_DIR}/NEWS news "%s" UTC)
  set(${out} ${news} PARENT_SCOPE)
endfunction()

# The changelog of saltcrypt's own Debian package: one stanza, NEWS's
# latest entry, signed by the maintainer at the release's time, which
# string(TIMESTAMP) takes from SOURCE_DATE_EPOCH.
function(debian_changelog news package contact epoch out)
  file(STRINGS ${news} lines)
  set(text "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^${package} ([^ ]+) \\(" AND text STREQUAL "")
      set(text "${package} (${CMAKE_MATCH_1}) unstable; urgency=medium\n")
    elseif(line MATCHES "^${package} ")
      break()
    elseif(line STREQUAL "")
      string(APPEND text "\n")
    else()
      string(APPEND text "  ${line}\n")
    endif()
  endforeach()
  string(REGEX REPLACE "\n\n+" "\n\n" text "${text}")
  set(saved "$ENV{SOURCE_DATE_EPOCH}")
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
  string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  set(ENV{SOURCE_DATE_EPOCH} "${saved}")
  file(WRITE ${out} "${text}\n -- ${contact}  ${date}\n")
endfunction()
