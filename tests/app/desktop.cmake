# SPDX-License-Identifier: GPL-3.0-or-later
# Installing and the desktop: --version, the keyboard shortcuts, and an install into a
# temporary prefix checked file by file.
target_compile_definitions(tst_appconfig PRIVATE VELTRA_PROJECT_VERSION="${PROJECT_VERSION}")

veltra_add_test(tst_shortcuts ${CMAKE_CURRENT_LIST_DIR}/tst_shortcuts.cpp GUI)

veltra_add_test(tst_install ${CMAKE_CURRENT_LIST_DIR}/tst_install.cpp GUI)
target_compile_definitions(tst_install PRIVATE
    VELTRA_CMAKE="${CMAKE_COMMAND}"
    VELTRA_BUILD_DIR="${CMAKE_BINARY_DIR}"
    VELTRA_PROJECT_VERSION="${PROJECT_VERSION}")
# The install copies these from the build tree, so they must be built first.
add_dependencies(tst_install veltra-kb veltra-restarter veltra-kb-message veltra-kb-icons)

# The version the program prints, the pages the build writes and the caption agree.
veltra_add_test(tst_version ${CMAKE_CURRENT_LIST_DIR}/tst_version.cpp GUI)
target_compile_definitions(tst_version PRIVATE
    VELTRA_KB_PATH="$<TARGET_FILE:veltra-kb>"
    VELTRA_PAGES_DIR="${PROJECT_BINARY_DIR}/pages"
    VELTRA_PROJECT_VERSION="${PROJECT_VERSION}")
add_dependencies(tst_version veltra-kb)

# The Debian package, built by dpkg-buildpackage in a copy of the source tree as ./package
# builds it (once: the second packing reuses that build), checked, and installed and removed
# with apt when the tests run as root. It starts first, and the others run beside it.
veltra_add_test(tst_package ${CMAKE_CURRENT_LIST_DIR}/tst_package.cpp)
target_compile_definitions(tst_package PRIVATE
    VELTRA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    VELTRA_PROJECT_VERSION="${PROJECT_VERSION}")
set_tests_properties(tst_package PROPERTIES TIMEOUT 1800 COST 10000)
