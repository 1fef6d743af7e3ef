# The winner watch over the cards in play: prints per-number times, asserts nothing.
qt_add_executable(bench_watch ${CMAKE_CURRENT_LIST_DIR}/bench_watch.cpp)
target_link_libraries(bench_watch PRIVATE tombola_claims tombola_cards tombola_game)
target_include_directories(bench_watch PRIVATE ${CMAKE_SOURCE_DIR}/tests)
