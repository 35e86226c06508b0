# tests_filter: the filter record and the filter screen, over a real cht-server.
if(TARGET cot09800 AND TARGET chtframework)
  add_executable(tests_filter
    FilterRecordTest.cpp
    FilterScreenTest.cpp
    ${CMAKE_SOURCE_DIR}/tests/e2e/ServerProcess.cpp
  )
  target_link_libraries(tests_filter PRIVATE cot09800 chtframework chtplatform chtwire
    Qt6::Widgets Qt6::Test GTest::gtest)
  if(TARGET cht-server)
    add_dependencies(tests_filter cht-server)
  endif()
  gtest_discover_tests(tests_filter
    PROPERTIES LABELS ui ENVIRONMENT QT_QPA_PLATFORM=offscreen
    DISCOVERY_TIMEOUT 60)
endif()
