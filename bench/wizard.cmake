# SPDX-License-Identifier: GPL-3.0-or-later
# The editor's Wizard menu neighbours: Find Next over a 10 MB text, and the
# recorder's time from a key release to the notation in the text.
add_executable(tarn_wizard_bench ${CMAKE_CURRENT_LIST_DIR}/wizard_bench.cpp)
target_link_libraries(tarn_wizard_bench PRIVATE tarn_editor benchmark::benchmark)
