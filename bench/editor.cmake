# The editor: Find Next over a 10 MB text, and the recorder's time from a key
# release to the notation in the text.
add_executable(tarn_editor_bench ${CMAKE_CURRENT_LIST_DIR}/editor_bench.cpp)
target_link_libraries(tarn_editor_bench PRIVATE tarn_editor benchmark::benchmark)
