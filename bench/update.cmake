# SPDX-License-Identifier: GPL-3.0-or-later
# bench_update: update runs against a loopback server, next to curl fetching the same pages.
# The run itself happens in the update tests' child program; the bench reads and clears
# databases through SQLite directly.
add_executable(bench_update ${CMAKE_CURRENT_SOURCE_DIR}/bench_update.cpp)
target_link_libraries(bench_update PRIVATE veltra_core veltra_benchdata SQLite::SQLite3)
target_compile_definitions(bench_update PRIVATE VELTRA_DEMOGEN_PATH="$<TARGET_FILE:veltra-demogen>"
                                               UPDATE_CHILD_PATH="$<TARGET_FILE:update_child>")
add_dependencies(bench_update veltra-demogen update_child)
