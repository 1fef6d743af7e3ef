# The WAVE reader against arbitrary bytes.
tombola_fuzz(fuzz_wave ${CMAKE_SOURCE_DIR}/announce/wave.cpp fuzz_wave.cpp)
