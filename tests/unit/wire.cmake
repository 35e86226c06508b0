# list(APPEND UNIT_SOURCES WireSomethingTest.cpp)
