# SPDX-License-Identifier: GPL-3.0-or-later
# The tray and the ways out: the window's tray logic offscreen, and in a child process of
# its own a real tray on a private X display and the logout signals.
veltra_add_test(tst_tray ${CMAKE_CURRENT_LIST_DIR}/tst_tray.cpp GUI)

add_executable(tray_child ${CMAKE_CURRENT_LIST_DIR}/tray_child.cpp)
target_link_libraries(tray_child PRIVATE veltra veltra_testsupport)
veltra_add_test(tst_trayprocess ${CMAKE_CURRENT_LIST_DIR}/tst_trayprocess.cpp GUI)
target_compile_definitions(tst_trayprocess PRIVATE TRAY_CHILD_PATH="$<TARGET_FILE:tray_child>")
add_dependencies(tst_trayprocess tray_child)

# The window's place through a real restart of tray_child under another scale factor or
# with a screen gone, on offscreen screens the test describes.
veltra_add_test(tst_windowrestart ${CMAKE_CURRENT_LIST_DIR}/tst_windowrestart.cpp)
target_compile_definitions(tst_windowrestart PRIVATE TRAY_CHILD_PATH="$<TARGET_FILE:tray_child>")
add_dependencies(tst_windowrestart tray_child)
