# Codec tests.
list(APPEND UNIT_SOURCES
  WireColumnTableTest.cpp
  WireDataPacketTest.cpp
  WireDeltaKeyListTest.cpp
  WireJsonRpcTest.cpp
  WireOleDateTest.cpp
)
