# SPDX-License-Identifier: GPL-3.0-or-later
# bench_store: the message store on a 100,000-message database (prints figures only).
add_executable(bench_store ${CMAKE_CURRENT_SOURCE_DIR}/bench_store.cpp)
target_link_libraries(bench_store PRIVATE veltra_core veltra_benchdata)
