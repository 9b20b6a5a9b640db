# SPDX-License-Identifier: GPL-3.0-or-later
# Opening a file in the editor window from outside, beside the peer editor
# (bench/editor_open.py).
if(TARGET tarn_editor)
  add_executable(tarn_editor_open_driver ${CMAKE_CURRENT_SOURCE_DIR}/editor_open_driver.cpp)
  target_link_libraries(tarn_editor_open_driver PRIVATE tarn_editor)
endif()
