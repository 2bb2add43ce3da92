# SPDX-License-Identifier: GPL-3.0-or-later
veltra_add_test(tst_form1 ${CMAKE_CURRENT_SOURCE_DIR}/tst_form1.cpp GUI)
veltra_add_test(tst_appconfig ${CMAKE_CURRENT_SOURCE_DIR}/tst_appconfig.cpp)
veltra_add_test(tst_elidedtext ${CMAKE_CURRENT_SOURCE_DIR}/tst_elidedtext.cpp GUI)
# The proxy: Options > Proxy..., the setting, the password and the application proxy.
veltra_add_test(tst_proxyoptions ${CMAKE_CURRENT_SOURCE_DIR}/tst_proxyoptions.cpp GUI)
target_link_libraries(tst_proxyoptions PRIVATE veltra_demogen)
