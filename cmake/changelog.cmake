# SPDX-License-Identifier: MIT
# The time of the release, the SOURCE_DATE_EPOCH that the packages take
# their times from, and the packages' changelogs made from NEWS, whose
# entries start "saltcrypt VERSION (YYYY-MM-DD)" and hold "* " items.

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

# The latest entry of NEWS: its version, and its items as one string.
# NEWS is read as a string, not as a list of lines, which a ';' would cut.
function(news_latest news version_out items_out)
  file(READ ${news} text)
  string(REGEX MATCH "^saltcrypt ([^ \n]+) \\([^)\n]*\\)\n" head "${text}")
  set(${version_out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  string(LENGTH "${head}" skip)
  string(SUBSTRING "${text}" ${skip} -1 text)
  string(FIND "${text}" "\nsaltcrypt " next)
  string(SUBSTRING "${text}" 0 ${next} text)
  string(STRIP "${text}" text)
  set(${items_out} "${text}" PARENT_SCOPE)
endfunction()

# The changelogs of saltcrypt's own Debian and RPM packages: NEWS's
# latest entry, signed by the maintainer at the release's time, which
# string(TIMESTAMP) takes from SOURCE_DATE_EPOCH.
function(package_changelogs news contact deb_out rpm_out)
  news_latest(${news} version items)
  string(TIMESTAMP deb_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  string(REGEX REPLACE "\n([^\n])" "\n  \\1" deb "  ${items}")
  file(WRITE ${deb_out} "saltcrypt (${version}) unstable; urgency=medium\n\n${deb}\n\n -- ${contact}  ${deb_date}\n")
  # An RPM changelog's items start "- "; "*" would start an entry, and
  # "%" a macro.
  string(TIMESTAMP rpm_date "%a %b %d %Y" UTC)
  string(REPLACE "%" "%%" rpm "${items}")
  string(REGEX REPLACE "(^|\n)\\* " "\\1- " rpm "${rpm}")
  string(REGEX REPLACE "\n\n+" "\n" rpm "${rpm}")
  file(WRITE ${rpm_out} "* ${rpm_date} ${contact} - ${version}-1\n${rpm}\n")
endfunction()
