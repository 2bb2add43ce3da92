# SPDX-License-Identifier: GPL-3.0-or-later
# The version of project() goes into the program (base/version.h) and into the local help
# and about pages (written into build/pages, where the demo, the install and the tests take
# them from), so that a new version is written in one place.
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${PROJECT_BINARY_DIR}/generated/base/version.h @ONLY)
target_include_directories(veltra_core PUBLIC ${PROJECT_BINARY_DIR}/generated)
foreach(page help.html about.html)
    configure_file(${PROJECT_SOURCE_DIR}/data/${page}.in ${PROJECT_BINARY_DIR}/pages/${page} @ONLY)
endforeach()
