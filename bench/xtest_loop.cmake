# SPDX-License-Identifier: GPL-3.0-or-later
# The raw XTest typing loop bench/typing.py measures the typists against.
if(TARN_GUI)
  find_package(X11 REQUIRED)
  add_executable(tarn_xtest_loop ${CMAKE_CURRENT_SOURCE_DIR}/xtest_loop.c)
  target_include_directories(tarn_xtest_loop PRIVATE ${X11_INCLUDE_DIR})
  target_link_libraries(tarn_xtest_loop PRIVATE ${X11_LIBRARIES} ${X11_XTest_LIB})
endif()
