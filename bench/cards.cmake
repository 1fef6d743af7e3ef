# Dealing and printing the cards: prints median times, asserts nothing.
qt_add_executable(bench_cards ${CMAKE_CURRENT_LIST_DIR}/bench_cards.cpp)
target_link_libraries(bench_cards PRIVATE tombola_print)
target_include_directories(bench_cards PRIVATE ${CMAKE_SOURCE_DIR}/tests)
