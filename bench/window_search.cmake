# SPDX-License-Identifier: GPL-3.0-or-later
# Window search over many real windows against xdotool (window_search.py
# starts Xvfb, openbox and the windows, then runs both), and on headless sway,
# KWin and GNOME Shell.
add_executable(tarn_window_search_bench ${CMAKE_CURRENT_SOURCE_DIR}/window_search.cpp)
target_link_libraries(tarn_window_search_bench PRIVATE
  tarn_platform_x11 tarn_platform_wayland tarn_platform_kwin tarn_platform_gnome
  tarn_interpreter benchmark::benchmark)
if(TARGET tarn_target)
  add_custom_target(bench_window_search
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/window_search.py
            --bench $<TARGET_FILE:tarn_window_search_bench>
            --target $<TARGET_FILE:tarn_target> --extension ${TARN_SHELL_EXTENSION_DIR}
    DEPENDS tarn_window_search_bench tarn_target
    USES_TERMINAL
    COMMENT "Window search: Tarn against xdotool over 50, 200 and 500 windows, and on sway, KWin and GNOME Shell")
endif()
