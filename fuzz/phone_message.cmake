# What a phone can send: the strict reading of its messages and of the card codes in them.
tombola_fuzz(fuzz_phone_message fuzz_phone_message.cpp ${CMAKE_SOURCE_DIR}/phones/phone_protocol.cpp
    ${CMAKE_SOURCE_DIR}/cards/card_code.cpp ${CMAKE_SOURCE_DIR}/cards/dealer.cpp
    ${CMAKE_SOURCE_DIR}/cards/full_series.cpp ${CMAKE_SOURCE_DIR}/announce/prizes.cpp)
