# SPDX-License-Identifier: GPL-3.0-or-later
# Typing into the editor window: one key at the end of a long macro, from the
# key event to the repainted text area.
if(TARGET tarn_editor)
  add_executable(tarn_editor_typing_bench ${CMAKE_CURRENT_SOURCE_DIR}/editor_typing_bench.cpp)
  target_link_libraries(tarn_editor_typing_bench PRIVATE tarn_editor benchmark::benchmark)
endif()
