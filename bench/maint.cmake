# SPDX-License-Identifier: GPL-3.0-or-later
# bench_maint: flagging, listing, deleting and compacting on the 100,000-message database
# (prints figures only).
add_executable(bench_maint ${CMAKE_CURRENT_SOURCE_DIR}/bench_maint.cpp)
target_link_libraries(bench_maint PRIVATE veltra veltra_benchdata veltra_testsupport)
