# SPDX-License-Identifier: GPL-3.0-or-later
# Typing in the editor window, offscreen, with and without the language aids.
if(TARN_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(editor_language_bench ${CMAKE_CURRENT_SOURCE_DIR}/editor_language_bench.cpp)
  target_link_libraries(editor_language_bench PRIVATE tarn_editor Qt6::Test benchmark::benchmark)
endif()
