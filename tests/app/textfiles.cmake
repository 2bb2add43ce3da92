# SPDX-License-Identifier: GPL-3.0-or-later
veltra_add_test(tst_cp1252 ${CMAKE_CURRENT_SOURCE_DIR}/tst_cp1252.cpp)
veltra_add_test(tst_vbnumber ${CMAKE_CURRENT_SOURCE_DIR}/tst_vbnumber.cpp)
veltra_add_test(tst_itemreader ${CMAKE_CURRENT_SOURCE_DIR}/tst_itemreader.cpp)
veltra_add_test(tst_listfile ${CMAKE_CURRENT_SOURCE_DIR}/tst_listfile.cpp)
veltra_add_test(tst_settingsfile ${CMAKE_CURRENT_SOURCE_DIR}/tst_settingsfile.cpp)
