# SPDX-License-Identifier: GPL-3.0-or-later
add_executable(bench_startup ${CMAKE_CURRENT_SOURCE_DIR}/bench_startup.cpp)
target_link_libraries(bench_startup PRIVATE veltra veltra_benchdata)
