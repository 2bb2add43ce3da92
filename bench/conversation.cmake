# SPDX-License-Identifier: GPL-3.0-or-later
# bench_conversation: the conversation store on the real-text archive, next to the sqlite3
# program's subject search (prints figures only).
add_executable(bench_conversation ${CMAKE_CURRENT_SOURCE_DIR}/bench_conversation.cpp)
target_link_libraries(bench_conversation PRIVATE veltra_core veltra_benchdata)
target_compile_definitions(bench_conversation PRIVATE VELTRA_CORPUS="${PROJECT_SOURCE_DIR}/../shared/corpus")
