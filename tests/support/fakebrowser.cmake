# SPDX-License-Identifier: GPL-3.0-or-later
# The scripted browser the window tests use in place of Qt WebEngine.
target_sources(veltra_testsupport PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/fakebrowser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fakebrowser.h
)
