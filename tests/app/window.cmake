# SPDX-License-Identifier: GPL-3.0-or-later
veltra_add_test(tst_form1 ${CMAKE_CURRENT_SOURCE_DIR}/tst_form1.cpp GUI)
veltra_add_test(tst_appconfig ${CMAKE_CURRENT_SOURCE_DIR}/tst_appconfig.cpp)
veltra_add_test(tst_elidedtext ${CMAKE_CURRENT_SOURCE_DIR}/tst_elidedtext.cpp GUI)
# The proxy: Options > Proxy..., the setting, the password and the application proxy.
veltra_add_test(tst_proxyoptions ${CMAKE_CURRENT_SOURCE_DIR}/tst_proxyoptions.cpp GUI)
target_link_libraries(tst_proxyoptions PRIVATE veltra_demogen)
# The help page names every menu command and every key of the shortcut list.
veltra_add_test(tst_help ${CMAKE_CURRENT_SOURCE_DIR}/tst_help.cpp GUI)
target_compile_definitions(tst_help PRIVATE VELTRA_HELP_PAGE="${PROJECT_BINARY_DIR}/pages/help.html")
