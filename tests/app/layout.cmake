veltra_add_test(tst_layout ${CMAKE_CURRENT_SOURCE_DIR}/tst_layout.cpp
    ${PROJECT_SOURCE_DIR}/tests/search/searchwindow.cpp ${PROJECT_SOURCE_DIR}/tests/search/searchwindow.h GUI)
target_include_directories(tst_layout PRIVATE ${PROJECT_SOURCE_DIR}/tests/search)
