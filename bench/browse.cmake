# SPDX-License-Identifier: GPL-3.0-or-later
# bench_browse: a typed address to document-complete, and the window's share of it.
add_executable(bench_browse ${CMAKE_CURRENT_SOURCE_DIR}/bench_browse.cpp ${PROJECT_SOURCE_DIR}/tests/support/fixtures.cpp)
target_include_directories(bench_browse PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(bench_browse PRIVATE veltra veltra_benchdata Qt6::HttpServer Qt6::Test)
