# The cost of the audience screen to a game at the fastest pace: prints figures, asserts nothing.
qt_add_executable(bench_audience ${CMAKE_CURRENT_LIST_DIR}/bench_audience.cpp)
target_link_libraries(bench_audience PRIVATE tombola_ui tombola_resources)
