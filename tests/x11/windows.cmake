# SPDX-License-Identifier: GPL-3.0-or-later
# The XCB window system against Xvfb, with openbox and without a window manager.
# The tests make bare windows of their own over plain XCB.
pkg_check_modules(TARN_WINDOWS_TEST REQUIRED IMPORTED_TARGET xcb)
add_executable(tarn_x11_window_tests
  ${CMAKE_CURRENT_SOURCE_DIR}/XcbWindowSystemTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/WindowTitleTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/SwayIpcTest.cpp)
target_link_libraries(tarn_x11_window_tests PRIVATE tarn_platform_x11 tarn_platform_wayland
  tarn_desktop_test_support PkgConfig::TARN_WINDOWS_TEST GTest::gtest_main)
gtest_discover_tests(tarn_x11_window_tests DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 120 LABELS x11)

# Macro statements on real windows: clsMacro over the XCB window system and
# the XTEST keyboard.
add_executable(tarn_x11_macro_window_tests ${CMAKE_CURRENT_SOURCE_DIR}/MacroWindowsTest.cpp)
target_link_libraries(tarn_x11_macro_window_tests PRIVATE
  tarn_interpreter tarn_platform_fake tarn_desktop_test_support GTest::gtest_main)
gtest_discover_tests(tarn_x11_macro_window_tests DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 120 LABELS x11)
