# SPDX-License-Identifier: GPL-3.0-or-later
# bench_view: one step to the next message and a held ">" on the 100,000-message database.
add_executable(bench_view ${CMAKE_CURRENT_SOURCE_DIR}/bench_view.cpp)
target_link_libraries(bench_view PRIVATE veltra veltra_benchdata)
