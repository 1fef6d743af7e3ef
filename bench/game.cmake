# A whole game through the program's window, its real sound port and clock: CPU per number, silent
# and with the room's screen open (and with sound under scripts/with-pulse.sh). Asserts nothing.
qt_add_executable(bench_game ${CMAKE_CURRENT_LIST_DIR}/bench_game.cpp)
target_link_libraries(bench_game PRIVATE tombola_ui tombola_sound tombola_resources)
