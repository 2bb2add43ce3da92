# SPDX-License-Identifier: GPL-3.0-or-later
# `cmake --install build --prefix P` installs:
#   P/bin/veltra-kb, P/bin/veltra-restarter and P/bin/veltra-jetreader   the companions beside the program, where it looks
#   P/libexec/veltra-kb/veltra-kb-desktop          starts the program in ~/VeltraKnowledgebase
#   P/libexec/veltra-kb/veltra-kb-message          shows the launcher's reason when it cannot
#   P/share/veltra-kb/help.html, about.html        the help pages the launcher puts there
#   P/share/applications/veltra-kb.desktop         the menu entry
#   P/share/icons/hicolor/scalable/apps/veltra-kb.svg, and NxN/apps/veltra-kb.png drawn from it
#   P/share/metainfo/org.veltraclub.knowledgebase.metainfo.xml   for software centres
#   P/share/man/man1/veltra-kb.1, veltra-restarter.1, veltra-jetreader.1
# debian/ (dpkg-buildpackage, ./package) makes the Debian package of these.
include(GNUInstallDirs)

# The release is the newest entry of debian/changelog: its version must be the one in
# project(), and its day is the one the manual pages and the software-centre metadata carry
# (and, through SOURCE_DATE_EPOCH, every file time in the package).
include(${CMAKE_CURRENT_LIST_DIR}/release.cmake)
veltra_read_release(${PROJECT_SOURCE_DIR}/debian/changelog VELTRA_RELEASE_VERSION VELTRA_RELEASE_DATE)
if(NOT VELTRA_RELEASE_VERSION STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "debian/changelog's newest entry is version ${VELTRA_RELEASE_VERSION}, but project() in "
                        "CMakeLists.txt says ${PROJECT_VERSION}: give both the same version (for a new one, "
                        "add an entry with `dch -v ${PROJECT_VERSION}` from devscripts)")
endif()
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/debian/changelog)
set(VELTRA_DESKTOP_BUILD_DIR ${CMAKE_BINARY_DIR}/desktop)

install(TARGETS veltra-kb veltra-restarter veltra-jetreader RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The pages as the build wrote them, with the project's version (src/base/version.cmake).
install(FILES ${PROJECT_BINARY_DIR}/pages/help.html ${PROJECT_BINARY_DIR}/pages/about.html
        DESTINATION ${CMAKE_INSTALL_DATADIR}/veltra-kb)

add_executable(veltra-kb-message ${CMAKE_CURRENT_LIST_DIR}/launchermessage.cpp)
target_include_directories(veltra-kb-message PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(veltra-kb-message PRIVATE Qt6::Widgets)
set_target_properties(veltra-kb-message PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VELTRA_DESKTOP_BUILD_DIR})
install(TARGETS veltra-kb-message RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/veltra-kb)

# The icon at the sizes desktops ask the theme for, drawn by librsvg as they draw the svg.
find_program(VELTRA_RSVG_CONVERT rsvg-convert)
if(NOT VELTRA_RSVG_CONVERT)
    message(FATAL_ERROR "rsvg-convert draws the menu icon's sizes: install librsvg2-bin (a Build-Depends of debian/control: scripts/deps.sh installs it)")
endif()
set(icon_svg ${CMAKE_CURRENT_LIST_DIR}/veltra-kb.svg)
set(icon_pngs)
foreach(size 16 22 24 32 48 64 128 256)
    set(dir ${VELTRA_DESKTOP_BUILD_DIR}/icons/${size}x${size})
    file(MAKE_DIRECTORY ${dir})
    add_custom_command(OUTPUT ${dir}/veltra-kb.png
        COMMAND ${VELTRA_RSVG_CONVERT} -w ${size} -h ${size} -o ${dir}/veltra-kb.png ${icon_svg}
        DEPENDS ${icon_svg} VERBATIM)
    list(APPEND icon_pngs ${dir}/veltra-kb.png)
    install(FILES ${dir}/veltra-kb.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(veltra-kb-icons ALL DEPENDS ${icon_pngs})
install(FILES ${icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Version and date come in here, from project() and above.
configure_file(${CMAKE_CURRENT_LIST_DIR}/veltra-kb.1.in ${VELTRA_DESKTOP_BUILD_DIR}/veltra-kb.1 @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/veltra-restarter.1.in ${VELTRA_DESKTOP_BUILD_DIR}/veltra-restarter.1 @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/veltra-jetreader.1.in ${VELTRA_DESKTOP_BUILD_DIR}/veltra-jetreader.1 @ONLY)
install(FILES ${VELTRA_DESKTOP_BUILD_DIR}/veltra-kb.1 ${VELTRA_DESKTOP_BUILD_DIR}/veltra-restarter.1
        ${VELTRA_DESKTOP_BUILD_DIR}/veltra-jetreader.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
configure_file(${CMAKE_CURRENT_LIST_DIR}/veltra-kb.metainfo.xml.in ${VELTRA_DESKTOP_BUILD_DIR}/veltra-kb.metainfo.xml @ONLY)
install(FILES ${VELTRA_DESKTOP_BUILD_DIR}/veltra-kb.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME org.veltraclub.knowledgebase.metainfo.xml)

# The entry and its launcher hold absolute paths, and the prefix given when installing may
# differ from the configured one, so they are written while installing.
set(VELTRA_DESKTOP_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(VELTRA_DESKTOP_STAGE_DIR ${CMAKE_BINARY_DIR}/desktop-install)
configure_file(${CMAKE_CURRENT_LIST_DIR}/writeentry.cmake.in ${CMAKE_BINARY_DIR}/desktop-install/writeentry.cmake @ONLY)
install(SCRIPT ${CMAKE_BINARY_DIR}/desktop-install/writeentry.cmake)
