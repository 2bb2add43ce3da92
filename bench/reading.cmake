# SPDX-License-Identifier: GPL-3.0-or-later
# bench_reading: a conversation listed from its key and 5,000 hits sorted by author, in the
# window on the real-text archive, next to a subject search and the sqlite3 program
# (prints figures only).
add_executable(bench_reading ${CMAKE_CURRENT_SOURCE_DIR}/bench_reading.cpp)
target_link_libraries(bench_reading PRIVATE veltra veltra_benchdata veltra_testsupport Qt6::Test)
target_compile_definitions(bench_reading PRIVATE VELTRA_CORPUS="${PROJECT_SOURCE_DIR}/../shared/corpus")
