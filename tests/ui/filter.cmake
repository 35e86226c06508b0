# tests_filter: the filter record and the filter screen, over a real cht-server.
if(TARGET cot09800 AND TARGET chtframework)
  cht_module_test(tests_filter ui FilterRecordTest.cpp FilterScreenTest.cpp
    ${CMAKE_SOURCE_DIR}/tests/QtTestMain.cpp)
endif()
