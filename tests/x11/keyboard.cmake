# SPDX-License-Identifier: GPL-3.0-or-later
# The XTest keystroke backend against Xvfb, with openbox and without a window
# manager: typing into xterm and into tarn_target's line edit.
pkg_check_modules(TARN_KEYBOARD_TEST REQUIRED IMPORTED_TARGET xcb xcb-xtest xcb-xkb)
add_executable(tarn_x11_keyboard_tests ${CMAKE_CURRENT_SOURCE_DIR}/KeyboardTypingTest.cpp)
target_link_libraries(tarn_x11_keyboard_tests PRIVATE
  tarn_interpreter tarn_desktop_test_support tarn_platform_x11 PkgConfig::TARN_KEYBOARD_TEST
  GTest::gtest_main)
gtest_discover_tests(tarn_x11_keyboard_tests DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 180 LABELS x11)
