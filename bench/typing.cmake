# SPDX-License-Identifier: GPL-3.0-or-later
# The typing benchmark's drivers (bench/typing.py runs it beside xdotool and the raw
# XTest loop on X11, beside wtype on sway, beside xdotool through XWayland on
# KWin, and on GNOME Shell, where no peer types).
if(TARN_GUI)
  add_executable(tarn_typing_driver ${CMAKE_CURRENT_SOURCE_DIR}/typing_driver.cpp)
  target_link_libraries(tarn_typing_driver PRIVATE tarn_interpreter tarn_platform_x11
    tarn_platform_wayland tarn_platform_kwin tarn_platform_gnome)
  add_executable(tarn_typing_driver_x11_sway ${CMAKE_CURRENT_SOURCE_DIR}/typing_driver.cpp)
  target_compile_definitions(tarn_typing_driver_x11_sway PRIVATE TARN_DRIVER_X11_SWAY)
  target_link_libraries(tarn_typing_driver_x11_sway PRIVATE tarn_interpreter tarn_platform_x11
    tarn_platform_wayland)
endif()
