# The host: module loader with fixture modules, main window, command line, login.
if(TARGET chthost)
  add_library(fixture_good_module SHARED fixtures/GoodModule.cpp)
  add_library(fixture_no_entry_module SHARED fixtures/NoEntryModule.cpp)
  add_executable(tests_host HostTest.cpp ${CMAKE_SOURCE_DIR}/tests/QtTestMain.cpp)
  target_link_libraries(tests_host PRIVATE chthost Qt6::Test GTest::gtest)
  add_dependencies(tests_host fixture_good_module fixture_no_entry_module)
  target_compile_definitions(tests_host PRIVATE
    CHT_FIXTURE_GOOD_MODULE="$<TARGET_FILE:fixture_good_module>"
    CHT_FIXTURE_NO_ENTRY_MODULE="$<TARGET_FILE:fixture_no_entry_module>")
  gtest_discover_tests(tests_host PROPERTIES LABELS ui ENVIRONMENT QT_QPA_PLATFORM=offscreen
    DISCOVERY_TIMEOUT 30)
endif()
