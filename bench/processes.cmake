# SPDX-License-Identifier: GPL-3.0-or-later
# Costs of starting programs and documents, ending processes, the reap hook and
# a session-end request against the mocked logind (bench/processes_bench.cpp).
if(TARN_GUI)
  add_executable(processes_bench ${CMAKE_CURRENT_SOURCE_DIR}/processes_bench.cpp)
  target_link_libraries(processes_bench PRIVATE
    tarn_platform_posix tarn_platform_gio benchmark::benchmark)
  if(TARGET tarn_mock_logind)
    target_link_libraries(processes_bench PRIVATE tarn_mock_logind)
    target_compile_definitions(processes_bench PRIVATE TARN_BENCH_LOGIND=1)
  endif()
  set_target_properties(processes_bench PROPERTIES AUTOMOC OFF AUTORCC OFF)
endif()
