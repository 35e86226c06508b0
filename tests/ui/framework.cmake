# tests_framework: the host's screen framework on real widgets (offscreen).
add_executable(tests_framework
  ${CMAKE_SOURCE_DIR}/tests/QtTestMain.cpp
  FrameworkServicesTest.cpp
  FrameworkDataTest.cpp
  FrameworkScreensTest.cpp
)
target_link_libraries(tests_framework PRIVATE chtframework chtplatform chtwire Qt6::Widgets
  Qt6::Sql Qt6::Test GTest::gtest)
gtest_discover_tests(tests_framework
  PROPERTIES LABELS ui ENVIRONMENT QT_QPA_PLATFORM=offscreen
  DISCOVERY_TIMEOUT 60)
