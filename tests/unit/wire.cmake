# Codec tests.
list(APPEND UNIT_SOURCES
  WireColumnTableTest.cpp
  WireOleDateTest.cpp
)
