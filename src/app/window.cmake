# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(veltra PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR}/form1.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/form1.h
    ${CMAKE_CURRENT_SOURCE_DIR}/form1.ui
    ${CMAKE_CURRENT_SOURCE_DIR}/keyringpasswordstore.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/keyringpasswordstore.h
    ${CMAKE_CURRENT_SOURCE_DIR}/panellayout.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/panellayout.h
    ${CMAKE_CURRENT_SOURCE_DIR}/panelsplitter.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/panelsplitter.h
    ${CMAKE_CURRENT_SOURCE_DIR}/passwordstore.h
    ${CMAKE_CURRENT_SOURCE_DIR}/proxydialog.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/proxydialog.h
    ${CMAKE_CURRENT_SOURCE_DIR}/proxyoptions.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/proxyoptions.h
    ${CMAKE_CURRENT_SOURCE_DIR}/quitsignals.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/quitsignals.h
    ${CMAKE_CURRENT_SOURCE_DIR}/keyboardshortcuts.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/keyboardshortcuts.h
    ${CMAKE_CURRENT_SOURCE_DIR}/windowtray.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/windowtray.h
)
