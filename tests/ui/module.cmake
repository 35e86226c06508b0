# tests_screen: the package entry and the CHT management screen, driven on real widgets with a
# fake application server behind the connection.
if(TARGET cot09800 AND TARGET chtframework)
  add_executable(tests_screen
    ScreenTestSupport.h
    ScreenMainTest.cpp
    ScreenLaunchTest.cpp
    ScreenStateTest.cpp
    ScreenListTest.cpp
  )
  target_link_libraries(tests_screen PRIVATE cot09800 chtframework chtplatform chtwire
    Qt6::Widgets Qt6::Test GTest::gtest)
  gtest_discover_tests(tests_screen
    PROPERTIES LABELS ui ENVIRONMENT QT_QPA_PLATFORM=offscreen
    DISCOVERY_TIMEOUT 60)
endif()
