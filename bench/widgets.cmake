# Data-aware grid: scrolling a million rows against a hundred.
if(CHT_WITH_UI)
  add_executable(bench_widgets bench_widgets.cpp)
  target_link_libraries(bench_widgets PRIVATE chtplatform Qt6::Widgets)
endif()
