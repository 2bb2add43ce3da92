# SPDX-License-Identifier: GPL-3.0-or-later
veltra_add_test(tst_layout ${CMAKE_CURRENT_SOURCE_DIR}/tst_layout.cpp GUI)
