# SPDX-License-Identifier: GPL-3.0-or-later
# bench_transfer: converting an Access table and exporting the 100,000-message database to
# mbox, each next to an anchor tool in the same run (prints figures only).
add_executable(bench_transfer ${CMAKE_CURRENT_SOURCE_DIR}/bench_transfer.cpp)
target_link_libraries(bench_transfer PRIVATE veltra_core veltra_benchdata)
target_compile_definitions(bench_transfer PRIVATE JET_READER="$<TARGET_FILE:veltra-jetreader>"
                           CORPUS_DIR="${PROJECT_SOURCE_DIR}/../shared/corpus")
add_dependencies(bench_transfer veltra-jetreader)
