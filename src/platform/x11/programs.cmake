# SPDX-License-Identifier: GPL-3.0-or-later
# Whether an X program has handled the events it was sent, seen through the
# kernel: for the X11 keyboard, and for the Wayland one typing to X11
# programs under XWayland.
pkg_check_modules(TARN_XCB_PROGRAMS REQUIRED IMPORTED_TARGET xcb xcb-res)
add_library(tarn_platform_xprograms STATIC ${CMAKE_CURRENT_SOURCE_DIR}/XProgramIdle.cpp)
target_include_directories(tarn_platform_xprograms PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tarn_platform_xprograms PUBLIC tarn_platform_posix
  PRIVATE PkgConfig::TARN_XCB_PROGRAMS)
set_target_properties(tarn_platform_xprograms PROPERTIES AUTOMOC OFF AUTORCC OFF)
