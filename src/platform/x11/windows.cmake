# SPDX-License-Identifier: GPL-3.0-or-later
# The window system over XCB: EWMH for the window manager, X-Resource for the
# PID behind a window, ICCCM for close requests.
pkg_check_modules(TARN_XCB_WINDOWS REQUIRED IMPORTED_TARGET xcb xcb-ewmh xcb-icccm xcb-res)
target_sources(tarn_platform_x11 PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/XcbWindowSystem.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/XcbWindowSystemClients.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/WindowTitle.cpp)
target_link_libraries(tarn_platform_x11 PRIVATE PkgConfig::TARN_XCB_WINDOWS)
# The programs at the other end of the display's connections.
target_link_libraries(tarn_platform_x11 PUBLIC tarn_platform_posix)
