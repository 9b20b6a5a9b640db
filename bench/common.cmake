# SPDX-License-Identifier: GPL-3.0-or-later
# The shared services: trace file records per second (each one written through
# to the kernel), settings reads and writes, and the first opening of help.
add_executable(tarn_common_bench ${CMAKE_CURRENT_LIST_DIR}/common_bench.cpp)
target_link_libraries(tarn_common_bench PRIVATE tarn_common benchmark::benchmark)
