# SPDX-License-Identifier: GPL-3.0-or-later
# The designer form on its own: uic compiles form1.ui for the test, which loads it into a bare QMainWindow.
veltra_add_test(tst_form1ui ${CMAKE_CURRENT_LIST_DIR}/tst_form1ui.cpp ${PROJECT_SOURCE_DIR}/src/app/form1.ui GUI)
set_target_properties(tst_form1ui PROPERTIES AUTOUIC_SEARCH_PATHS ${PROJECT_SOURCE_DIR}/src/app)
