qt_add_executable(bench_draw ${CMAKE_CURRENT_SOURCE_DIR}/bench_draw.cpp)
target_link_libraries(bench_draw PRIVATE tombola_ui tombola_sound tombola_resources)
