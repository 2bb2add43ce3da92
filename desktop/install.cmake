# `cmake --install build --prefix P` installs:
#   P/bin/veltra-kb, P/bin/veltra-restarter and P/bin/veltra-jetreader   the companions beside the program, where it looks
#   P/libexec/veltra-kb/veltra-kb-desktop          starts the program in ~/VeltraKnowledgebase
#   P/share/veltra-kb/help.html, about.html        the help pages the launcher puts there
#   P/share/applications/veltra-kb.desktop         the menu entry
#   P/share/icons/hicolor/scalable/apps/veltra-kb.svg
include(GNUInstallDirs)

install(TARGETS veltra-kb veltra-restarter veltra-jetreader RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The pages as the build wrote them, with the project's version (src/app/version.cmake).
install(FILES ${PROJECT_BINARY_DIR}/pages/help.html ${PROJECT_BINARY_DIR}/pages/about.html
        DESTINATION ${CMAKE_INSTALL_DATADIR}/veltra-kb)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/veltra-kb.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The entry and its launcher hold absolute paths, and the prefix given when installing may
# differ from the configured one, so they are written while installing.
set(VELTRA_DESKTOP_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(VELTRA_DESKTOP_STAGE_DIR ${CMAKE_BINARY_DIR}/desktop-install)
configure_file(${CMAKE_CURRENT_LIST_DIR}/writeentry.cmake.in ${CMAKE_BINARY_DIR}/desktop-install/writeentry.cmake @ONLY)
install(SCRIPT ${CMAKE_BINARY_DIR}/desktop-install/writeentry.cmake)
