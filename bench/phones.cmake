# Hundreds of phones following a game at the fastest pace: the delay to the last phone and the
# program's extra CPU per number, against the same game with the phones off. Prints figures.
qt_add_executable(bench_phones ${CMAKE_CURRENT_LIST_DIR}/bench_phones.cpp
    ${CMAKE_CURRENT_LIST_DIR}/phone_crowd.h ${CMAKE_CURRENT_LIST_DIR}/phone_crowd.cpp
    ${CMAKE_CURRENT_LIST_DIR}/send_floor.h ${CMAKE_CURRENT_LIST_DIR}/send_floor.cpp)
target_link_libraries(bench_phones PRIVATE tombola_ui tombola_phones)
