# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build tree BUILD_DIR into the empty prefix PREFIX and checks
# the result: the programs, the launcher, the icons, the AppStream file and
# the man pages are in their standard places; the installed kinetra reports
# VERSION; the launcher names a program and an icon that were installed;
# --help and the man page describe the same options. The desktop file and
# the AppStream file are also run through their validators when those are
# installed.
#
#   cmake -DBUILD_DIR=... -DPREFIX=... -DSOURCE_DIR=... -DAPP_ID=... -DVERSION=...
#         -P InstallCheck.cmake

cmake_minimum_required(VERSION 3.22)

foreach(var BUILD_DIR PREFIX SOURCE_DIR APP_ID VERSION)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "InstallCheck: ${var} is not set")
    endif()
endforeach()

set(failures "")
macro(fail text)
    list(APPEND failures "${text}")
    message(SEND_ERROR "${text}")
endmacro()

file(REMOVE_RECURSE "${PREFIX}")
execute_process(
    COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()

# The layout a Linux desktop expects (GNUInstallDirs defaults).
set(expected
    bin/kinetra
    bin/kinetra-sim
    share/applications/${APP_ID}.desktop
    share/metainfo/${APP_ID}.metainfo.xml
    share/icons/hicolor/scalable/apps/${APP_ID}.svg
    share/man/man1/kinetra.1.gz
    share/man/man1/kinetra-sim.1.gz
    share/doc/kinetra/README.md
    share/doc/kinetra/copyright
    lib/systemd/user/kinetra-headless.service)
foreach(size 16 24 32 48 64 128 256)
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/${APP_ID}.png)
endforeach()
foreach(path ${expected})
    if(NOT EXISTS "${PREFIX}/${path}")
        fail("not installed: ${path}")
    endif()
endforeach()
foreach(program kinetra kinetra-sim)
    if(EXISTS "${PREFIX}/bin/${program}" AND NOT IS_DIRECTORY "${PREFIX}/bin/${program}")
        file(READ "${PREFIX}/bin/${program}" head LIMIT 4 HEX)
        if(NOT head STREQUAL "7f454c46")
            fail("bin/${program} is not an executable program")
        endif()
    endif()
endforeach()

# Files the README links to in docs/ must be installed beside it.
file(READ "${SOURCE_DIR}/README.md" readme)
# (Only the parenthesised part: a list item holding "]" would not split.)
string(REGEX MATCHALL "\\(docs/[^)]+\\)" links "${readme}")
foreach(link ${links})
    string(REGEX REPLACE "^\\((.*)\\)$" "\\1" target "${link}")
    string(REGEX REPLACE "#.*$" "" target "${target}")
    if(NOT EXISTS "${PREFIX}/share/doc/kinetra/${target}")
        fail("README links ${target}, which is not installed")
    endif()
endforeach()

# The installed program starts far enough to tell its version.
execute_process(
    COMMAND "${PREFIX}/bin/kinetra" --version
    RESULT_VARIABLE result
    OUTPUT_VARIABLE version_text
    ERROR_VARIABLE version_error)
if(NOT result EQUAL 0 OR NOT version_text STREQUAL "Kinetra ${VERSION}\n")
    fail("installed kinetra --version: exit ${result}, printed '${version_text}' ${version_error}")
endif()

# The launcher starts an installed program and shows an installed icon.
file(STRINGS "${PREFIX}/share/applications/${APP_ID}.desktop" desktop)
set(execs "")
set(icon "")
foreach(line ${desktop})
    if(line MATCHES "^Exec=([^ ]+)")
        list(APPEND execs "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^Icon=(.+)$")
        set(icon "${CMAKE_MATCH_1}")
    endif()
endforeach()
if(NOT execs)
    fail("the desktop file has no Exec line")
endif()
foreach(exec ${execs})
    if(NOT EXISTS "${PREFIX}/bin/${exec}")
        fail("the desktop file starts ${exec}, which is not installed in bin")
    endif()
endforeach()
if(NOT icon STREQUAL APP_ID)
    fail("the desktop file's icon is '${icon}', the installed icon is ${APP_ID}")
endif()

# --help and the man page describe the same options: every option the man
# page gives an entry is one the program mentions, and every option --help
# lists on a line of its own has an entry in the man page.
execute_process(
    COMMAND "${PREFIX}/bin/kinetra" --help
    RESULT_VARIABLE result
    OUTPUT_VARIABLE help_text)
if(NOT result EQUAL 0)
    fail("kinetra --help exited with ${result}")
endif()
string(REGEX MATCHALL "--[a-z][a-z-]*" help_mentions "${help_text}")
string(REGEX MATCHALL "\n  (-[a-zA-Z], )?--[a-z][a-z-]*" help_lines "\n${help_text}")
set(help_headings "")
foreach(line ${help_lines})
    string(REGEX REPLACE "^.*(--[a-z][a-z-]*)$" "\\1" option "${line}")
    list(APPEND help_headings "${option}")
endforeach()

file(READ "${SOURCE_DIR}/packaging/kinetra.1" man_page)
string(REPLACE "\\-" "-" man_page "${man_page}")
string(FIND "${man_page}" "\n.SH OPTIONS" from)
if(from LESS 0)
    message(FATAL_ERROR "the man page has no OPTIONS section")
endif()
string(SUBSTRING "${man_page}" ${from} -1 man_options_section)
string(REGEX REPLACE "^\n\\.SH OPTIONS" "" man_options_section "${man_options_section}")
string(FIND "${man_options_section}" "\n.SH " to)
string(SUBSTRING "${man_options_section}" 0 ${to} man_options_section)
string(REGEX MATCHALL "\\.TP\n[^\n]*" man_entries "${man_options_section}")
set(man_headings "")
foreach(entry ${man_entries})
    string(REGEX MATCHALL "--[a-z][a-z-]*" options "${entry}")
    list(APPEND man_headings ${options})
endforeach()
if(NOT help_headings OR NOT man_headings)
    fail("no options found in --help ('${help_headings}') or the man page ('${man_headings}')")
endif()
foreach(option ${man_headings})
    if(NOT option IN_LIST help_mentions)
        fail("the man page describes ${option}, kinetra --help does not know it")
    endif()
endforeach()
foreach(option ${help_headings})
    if(NOT option IN_LIST man_headings)
        fail("kinetra --help lists ${option}, the man page does not describe it")
    endif()
endforeach()

# The validators, where installed (desktop-file-utils, appstream).
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
    execute_process(
        COMMAND ${DESKTOP_FILE_VALIDATE} "${PREFIX}/share/applications/${APP_ID}.desktop"
        RESULT_VARIABLE result
        OUTPUT_VARIABLE output
        ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        fail("desktop-file-validate:\n${output}")
    endif()
else()
    message(STATUS "desktop-file-validate not installed; the desktop file is not validated")
endif()
find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
    execute_process(
        COMMAND ${APPSTREAMCLI} validate --no-net "${PREFIX}/share/metainfo/${APP_ID}.metainfo.xml"
        RESULT_VARIABLE result
        OUTPUT_VARIABLE output
        ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        fail("appstreamcli validate:\n${output}")
    endif()
else()
    message(STATUS "appstreamcli not installed; the AppStream file is not validated")
endif()

if(failures)
    list(LENGTH failures count)
    message(FATAL_ERROR "${count} installation check(s) failed")
endif()
file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "installation into ${PREFIX} is complete")
