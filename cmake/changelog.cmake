# SPDX-License-Identifier: MIT
# The date of the release, the SOURCE_DATE_EPOCH that the packages take
# their times from, and the Debian package's changelog made from NEWS,
# whose entries start "saltcrypt VERSION (YYYY-MM-DD)".

# The seconds from 1970 to midnight UTC of a date (days from the civil
# calendar, counted in 400-year eras).
function(date_epoch y m d out)
  if(m LESS_EQUAL 2)
    math(EXPR y "${y} - 1")
    math(EXPR m "${m} + 9")
  else()
    math(EXPR m "${m} - 3")
  endif()
  math(EXPR era "${y} / 400")
  math(EXPR yoe "${y} - ${era} * 400")
  math(EXPR doy "(153 * ${m} + 2) / 5 + ${d} - 1")
  math(EXPR days "${era} * 146097 + ${yoe} * 365 + ${yoe} / 4 - ${yoe} / 100 + ${doy} - 719468")
  math(EXPR seconds "${days} * 86400")
  set(${out} ${seconds} PARENT_SCOPE)
endfunction()

# Formats an epoch as string(TIMESTAMP) does, which reads it from
# SOURCE_DATE_EPOCH.
function(format_epoch epoch format out)
  set(saved "$ENV{SOURCE_DATE_EPOCH}")
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
  string(TIMESTAMP text "${format}" UTC)
  if(saved STREQUAL "")
    unset(ENV{SOURCE_DATE_EPOCH})
  else()
    set(ENV{SOURCE_DATE_EPOCH} "${saved}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Whether line is the heading of an entry, "PACKAGE VERSION (YYYY-MM-DD)";
# if so, sets version and epoch.
function(news_heading line package out)
  set(${out} FALSE PARENT_SCOPE)
  if(NOT line MATCHES "^${package} ([^ ]+) \\(([0-9]+)-([0-9]+)-([0-9]+)\\)$")
    return()
  endif()
  set(version ${CMAKE_MATCH_1})
  math(EXPR m "${CMAKE_MATCH_3}")
  math(EXPR d "${CMAKE_MATCH_4}")
  date_epoch(${CMAKE_MATCH_2} ${m} ${d} epoch)
  set(${out} TRUE PARENT_SCOPE)
  set(version ${version} PARENT_SCOPE)
  set(epoch ${epoch} PARENT_SCOPE)
endfunction()

# The time the release is dated by: the caller's SOURCE_DATE_EPOCH, else
# the last commit's, else the date of NEWS's first entry.
function(release_epoch news package out)
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
  file(STRINGS ${news} lines)
  foreach(line IN LISTS lines)
    news_heading("${line}" ${package} heading)
    if(heading)
      set(${out} ${epoch} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "no dated entry in ${news}")
endfunction()

# The changelog of saltcrypt's own Debian package: one stanza, NEWS's
# latest entry, signed by the maintainer at the release's time.
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
  format_epoch(${epoch} "%a, %d %b %Y %H:%M:%S +0000" date)
  file(WRITE ${out} "${text}\n -- ${contact}  ${date}\n")
endfunction()
