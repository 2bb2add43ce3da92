# bench_search: the search in the window on the 100,000-message database (prints figures only).
add_executable(bench_search ${CMAKE_CURRENT_SOURCE_DIR}/bench_search.cpp)
target_link_libraries(bench_search PRIVATE veltra veltra_benchdata veltra_testsupport)
