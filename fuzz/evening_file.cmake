# The evenings' reader against arbitrary file bytes.
find_package(Qt6 REQUIRED COMPONENTS Sql)
find_package(PkgConfig REQUIRED)
pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)
tombola_fuzz(fuzz_evening_file fuzz_evening_file.cpp
    ${CMAKE_SOURCE_DIR}/evening/evening_store.cpp ${CMAKE_SOURCE_DIR}/evening/evening_reader.cpp
    ${CMAKE_SOURCE_DIR}/evening/evening_store_guard.cpp ${CMAKE_SOURCE_DIR}/evening/evening_store_copies.cpp
    ${CMAKE_SOURCE_DIR}/evening/evening_writer.cpp ${CMAKE_SOURCE_DIR}/evening/evening_facts_store.cpp
    ${CMAKE_SOURCE_DIR}/evening/stored_rows.cpp ${CMAKE_SOURCE_DIR}/evening/evening_setup.cpp
    ${CMAKE_SOURCE_DIR}/cards/card_code.cpp ${CMAKE_SOURCE_DIR}/game/draw_seal.cpp
    ${CMAKE_SOURCE_DIR}/cards/dealer.cpp ${CMAKE_SOURCE_DIR}/cards/full_series.cpp
    ${CMAKE_SOURCE_DIR}/announce/prizes.cpp ${CMAKE_SOURCE_DIR}/claims/prize_ladder.cpp
    ${CMAKE_SOURCE_DIR}/claims/prize_pot.cpp)
target_link_libraries(fuzz_evening_file PRIVATE Qt6::Sql PkgConfig::SQLITE3)
