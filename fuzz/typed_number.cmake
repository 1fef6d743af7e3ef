tombola_fuzz(fuzz_typed_number ${CMAKE_SOURCE_DIR}/claims/typed_number.cpp ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_typed_number.cpp)
