# The synchronous player against a sound server: start latency and overrun of play(). Prints
# figures, asserts nothing. Run it under scripts/with-pulse.sh.
qt_add_executable(bench_sound ${CMAKE_CURRENT_LIST_DIR}/bench_sound.cpp)
target_link_libraries(bench_sound PRIVATE tombola_sound)
target_include_directories(bench_sound PRIVATE ${CMAKE_SOURCE_DIR}/tests/announce)
set(bench_sound_data ${CMAKE_SOURCE_DIR}/tests/announce/data)
qt_add_resources(bench_sound "bench_clips" PREFIX "/clips" BASE ${bench_sound_data}
    FILES ${bench_sound_data}/BREVE.wav ${bench_sound_data}/TONO_S16.wav ${bench_sound_data}/TONO_U8.wav)
