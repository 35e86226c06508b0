# list(APPEND UNIT_SOURCES DataSetSomethingTest.cpp)
