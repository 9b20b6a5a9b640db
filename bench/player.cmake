# SPDX-License-Identifier: GPL-3.0-or-later
# The player: Stop latency and the processor time of a Wait in-process
# (tarn_player_bench), and the tarn program's start-up and processor time on a
# private Xvfb (player.py, which also runs tarn_player_bench).
add_executable(tarn_player_bench ${CMAKE_CURRENT_SOURCE_DIR}/player_bench.cpp)
target_link_libraries(tarn_player_bench PRIVATE
  tarn_player tarn_platform_fake benchmark::benchmark)
if(TARGET tarn)
  add_custom_target(bench_player
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/player.py
            --tarn $<TARGET_FILE:tarn> --bench $<TARGET_FILE:tarn_player_bench>
    DEPENDS tarn tarn_player_bench
    USES_TERMINAL
    COMMENT "Player: CPU over Wait 5, start-up to the first statement, Stop to the end of a Wait")
endif()
