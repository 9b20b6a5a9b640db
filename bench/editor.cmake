# SPDX-License-Identifier: GPL-3.0-or-later
# The editor's macro files: opening one into a shown text area (time and peak
# memory), the text area alone past the size the editor opens, and Save.
if(TARGET tarn_editor)
  add_executable(tarn_editor_bench ${CMAKE_CURRENT_SOURCE_DIR}/editor_bench.cpp)
  target_link_libraries(tarn_editor_bench PRIVATE tarn_editor benchmark::benchmark)
endif()
