# SPDX-License-Identifier: GPL-3.0-or-later
# veltra_read_release(CHANGELOG VERSION_VAR DATE_VAR): the version and the day (YYYY-MM-DD,
# in UTC) of the newest entry of a Debian changelog, read as dpkg-parsechangelog reads it:
#   veltra-kb (3.4.1) unstable; urgency=medium
#   ...
#    -- Name <address>  Wed, 09 Dec 2026 12:00:00 +0000
function(veltra_read_release changelog version_var date_var)
    file(STRINGS "${changelog}" lines)
    set(version "")
    set(date "")
    foreach(line IN LISTS lines)
        if(version STREQUAL "" AND line MATCHES "^[a-z0-9][a-z0-9.+-]* \\(([^)]+)\\) ")
            set(version "${CMAKE_MATCH_1}")
        elseif(NOT version STREQUAL "" AND line MATCHES "^ -- .*>  (.+)$")
            set(date "${CMAKE_MATCH_1}")
            break()
        endif()
    endforeach()
    # Day, month and year, taken as written: the entries are written in UTC (+0000).
    if(NOT date MATCHES "^[A-Z][a-z][a-z], ([0-9]?[0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) [0-9:]+ \\+0000$")
        message(FATAL_ERROR "${changelog}: the newest entry (version '${version}') has no trailer line with a "
                            "date in UTC (\" -- Name <address>  Wed, 09 Dec 2026 12:00:00 +0000\"), found '${date}'")
    endif()
    set(day "${CMAKE_MATCH_1}")
    set(year "${CMAKE_MATCH_3}")
    set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    list(FIND months "${CMAKE_MATCH_2}" month)
    if(month LESS 0)
        message(FATAL_ERROR "${changelog}: no month '${CMAKE_MATCH_2}' in '${date}'")
    endif()
    math(EXPR month "${month} + 1")
    if(month LESS 10)
        set(month "0${month}")
    endif()
    if(day MATCHES "^[0-9]$")
        set(day "0${day}")
    endif()
    set(${version_var} "${version}" PARENT_SCOPE)
    set(${date_var} "${year}-${month}-${day}" PARENT_SCOPE)
endfunction()
