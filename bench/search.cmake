# SPDX-License-Identifier: GPL-3.0-or-later
# bench_search: the search in the window on the demo database or a real-text archive, with
# and without the substring index, next to ripgrep and the sqlite3 program (prints figures
# only). Sizes, candidates and the other index forms are read through SQLite directly.
add_executable(bench_search ${CMAKE_CURRENT_SOURCE_DIR}/bench_search.cpp ${CMAKE_CURRENT_SOURCE_DIR}/searchterms.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/searchterms.h)
target_link_libraries(bench_search PRIVATE veltra veltra_benchdata veltra_testsupport SQLite::SQLite3)
target_compile_definitions(bench_search PRIVATE VELTRA_CORPUS="${PROJECT_SOURCE_DIR}/../shared/corpus")
