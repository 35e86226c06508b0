# bench_list: listing 100,000 CHTs through the three tiers against a two-tier Qt program.
if(TARGET cot09800 AND TARGET chtframework AND TARGET chtserver)
  add_executable(bench_list
    bench_list.cpp
    ${CMAKE_SOURCE_DIR}/tests/e2e/ServerProcess.cpp
  )
  target_link_libraries(bench_list PRIVATE cot09800 chtframework chtplatform chtwire chtserver
    Qt6::Widgets Qt6::Sql GTest::gtest)
  if(TARGET cht-server)
    add_dependencies(bench_list cht-server)
  endif()
endif()
