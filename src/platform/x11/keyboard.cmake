# SPDX-License-Identifier: GPL-3.0-or-later
# Keystrokes through XTEST, the keyboard map through XKB (xkbcommon-x11),
# the emergency stop key (a passive grab of Pause), the RECORD extension to
# know when targets have read a changed map, and held keys reported as
# presses only (for the recorder).
pkg_check_modules(TARN_XCB_KEYBOARD REQUIRED IMPORTED_TARGET
  xcb xcb-xtest xcb-xkb xcb-record xkbcommon xkbcommon-x11)
find_package(Threads REQUIRED)
target_sources(tarn_platform_x11 PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/BorrowedKeys.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/HeldKeys.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/KeyboardLayout.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/KeySymMaps.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/KeymapReaders.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/XStopKey.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/XTestKeyboard.cpp)
target_link_libraries(tarn_platform_x11 PRIVATE PkgConfig::TARN_XCB_KEYBOARD Threads::Threads
  tarn_platform_xkb tarn_platform_xprograms)
