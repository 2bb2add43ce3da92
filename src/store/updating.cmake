# The update run's window side (Form1's update procedures).
target_sources(veltra PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/updating.cpp
)
