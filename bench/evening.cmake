# The evening's record: the cost of a commit and the time to a resumed evening. Prints figures.
qt_add_executable(bench_evening ${CMAKE_CURRENT_LIST_DIR}/bench_evening.cpp)
target_link_libraries(bench_evening PRIVATE tombola_ui tombola_evening)
