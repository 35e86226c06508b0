# Codec tests.
list(APPEND UNIT_SOURCES
  WireColumnTableTest.cpp
  WireOleDateTest.cpp
)
list(APPEND UNIT_SOURCES WireDataPacketTest.cpp)
list(APPEND UNIT_SOURCES WireDeltaKeyListTest.cpp WireJsonRpcTest.cpp)
