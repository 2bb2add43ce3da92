# The update run: pure pieces in the core, Form1's update procedures in the window library.
target_sources(veltra_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/lastmessagepage.cpp ${CMAKE_CURRENT_LIST_DIR}/lastmessagepage.h
    ${CMAKE_CURRENT_LIST_DIR}/pagefetcher.cpp ${CMAKE_CURRENT_LIST_DIR}/pagefetcher.h
    ${CMAKE_CURRENT_LIST_DIR}/statustime.cpp ${CMAKE_CURRENT_LIST_DIR}/statustime.h
    ${CMAKE_CURRENT_LIST_DIR}/updateaddress.cpp ${CMAKE_CURRENT_LIST_DIR}/updateaddress.h
    ${CMAKE_CURRENT_LIST_DIR}/updatepageparser.cpp ${CMAKE_CURRENT_LIST_DIR}/updatepageparser.h
)
target_sources(veltra PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/updating.cpp
)
