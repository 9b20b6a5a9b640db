# SPDX-License-Identifier: GPL-3.0-or-later
# Printing: laying out and printing a macro of 0.25 to 1 MB (about 300 A4
# pages at 1 MB) into a PDF through QPrinter, with the time and the growth of
# resident memory during each job.
add_executable(tarn_print_bench ${CMAKE_CURRENT_SOURCE_DIR}/print_bench.cpp)
target_link_libraries(tarn_print_bench PRIVATE tarn_editor benchmark::benchmark)
