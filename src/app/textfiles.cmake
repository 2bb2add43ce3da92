# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(veltra_core PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR}/cp1252.cpp ${CMAKE_CURRENT_SOURCE_DIR}/cp1252.h
    ${CMAKE_CURRENT_SOURCE_DIR}/itemreader.cpp ${CMAKE_CURRENT_SOURCE_DIR}/itemreader.h
    ${CMAKE_CURRENT_SOURCE_DIR}/listfile.cpp ${CMAKE_CURRENT_SOURCE_DIR}/listfile.h
    ${CMAKE_CURRENT_SOURCE_DIR}/preferences.cpp ${CMAKE_CURRENT_SOURCE_DIR}/preferences.h
    ${CMAKE_CURRENT_SOURCE_DIR}/settingsfile.cpp ${CMAKE_CURRENT_SOURCE_DIR}/settingsfile.h
    ${CMAKE_CURRENT_SOURCE_DIR}/vbnumber.cpp ${CMAKE_CURRENT_SOURCE_DIR}/vbnumber.h
)
