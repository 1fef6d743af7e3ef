# What anyone on the hall's network can send the phones' server: request heads and WebSocket frames.
tombola_fuzz(fuzz_phone_wire fuzz_phone_wire.cpp ${CMAKE_SOURCE_DIR}/phones/phone_wire.cpp)
