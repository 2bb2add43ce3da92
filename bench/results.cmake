# SPDX-License-Identifier: GPL-3.0-or-later
# bench_results: the result table in the window on the real-text archive, with nobody and
# then a listener on the accessibility bus, next to ripgrep (bench/results.sh sets up the buses).
add_executable(bench_results ${CMAKE_CURRENT_SOURCE_DIR}/bench_results.cpp ${CMAKE_CURRENT_SOURCE_DIR}/searchterms.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/searchterms.h)
target_link_libraries(bench_results PRIVATE veltra veltra_benchdata veltra_testsupport Qt6::Test)
target_compile_definitions(bench_results PRIVATE VELTRA_CORPUS="${PROJECT_SOURCE_DIR}/../shared/corpus"
                                                 VELTRA_BENCH_SOURCE="${CMAKE_CURRENT_SOURCE_DIR}")
