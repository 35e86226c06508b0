list(APPEND UNIT_SOURCES
  DataSetChangeLogTest.cpp
  DataSetFieldTest.cpp
  DataSetLoadTest.cpp
)
