# 2,000 phones far away through the NATS cluster of scripts/with-nats.sh: delivery, delay, the
# program's CPU and the recovery from a server killed. Prints figures, asserts nothing.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBNATS REQUIRED IMPORTED_TARGET libnats)
qt_add_executable(bench_relay ${CMAKE_CURRENT_LIST_DIR}/bench_relay.cpp)
target_link_libraries(bench_relay PRIVATE tombola_remote tombola_evening tombola_claims tombola_cards tombola_game
    PkgConfig::LIBNATS)
target_include_directories(bench_relay PRIVATE ${CMAKE_SOURCE_DIR}/tests)
