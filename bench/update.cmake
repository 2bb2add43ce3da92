# bench_update: an update run of 2,000 messages against a loopback server, next to curl.
# The run itself happens in the update tests' child program.
add_executable(bench_update ${CMAKE_CURRENT_SOURCE_DIR}/bench_update.cpp)
target_link_libraries(bench_update PRIVATE veltra_core veltra_benchdata)
target_compile_definitions(bench_update PRIVATE VELTRA_DEMOGEN_PATH="$<TARGET_FILE:veltra-demogen>"
                                               UPDATE_CHILD_PATH="$<TARGET_FILE:update_child>")
add_dependencies(bench_update veltra-demogen update_child)
