# The data-aware widgets of libchtplatform, on real widgets under the offscreen platform.
if(TARGET chtplatform)
  add_executable(tests_widgets
    ${CMAKE_SOURCE_DIR}/tests/QtTestMain.cpp
    WidgetControlsTest.cpp
    WidgetGridTest.cpp
    WidgetMaskTest.cpp
  )
  target_link_libraries(tests_widgets PRIVATE chtplatform Qt6::Widgets Qt6::Test GTest::gtest)
  gtest_discover_tests(tests_widgets PROPERTIES LABELS ui ENVIRONMENT QT_QPA_PLATFORM=offscreen
    DISCOVERY_TIMEOUT 30)
endif()
