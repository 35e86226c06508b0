# tests_screen: the package entry and the CHT management screen, driven on real widgets with a
# fake application server behind the connection (a real cht-server answers the launch).
if(TARGET cot09800 AND TARGET chtframework)
  add_executable(tests_screen
    ScreenTestSupport.h
    ScreenMainTest.cpp
    ScreenLaunchTest.cpp
    ScreenStateTest.cpp
    ScreenListTest.cpp
    ${CMAKE_SOURCE_DIR}/tests/e2e/ServerProcess.cpp
  )
  target_link_libraries(tests_screen PRIVATE cot09800 chtframework chtplatform chtwire
    Qt6::Widgets Qt6::Test GTest::gtest)
  if(TARGET cht-server)
    add_dependencies(tests_screen cht-server)
  endif()
  gtest_discover_tests(tests_screen
    PROPERTIES LABELS ui ENVIRONMENT QT_QPA_PLATFORM=offscreen
    DISCOVERY_TIMEOUT 60)
endif()
