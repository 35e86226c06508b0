# Codec tests.
list(APPEND UNIT_SOURCES
  WireColumnTableTest.cpp
  WireOleDateTest.cpp
)
list(APPEND UNIT_SOURCES WireDataPacketTest.cpp)
