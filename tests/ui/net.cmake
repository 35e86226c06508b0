# The server connection: errors, by-reference values, recording and faulty transports.
if(TARGET chtframework)
  add_executable(tests_net NetConnectionTest.cpp ${CMAKE_SOURCE_DIR}/tests/QtTestMain.cpp)
  target_link_libraries(tests_net PRIVATE chtframework PkgConfig::HTTPLIB Threads::Threads GTest::gtest)
  gtest_discover_tests(tests_net PROPERTIES LABELS ui ENVIRONMENT QT_QPA_PLATFORM=offscreen
    DISCOVERY_TIMEOUT 30)
endif()
