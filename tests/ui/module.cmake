# tests_screen: the package entry and the CHT management screen, driven on real widgets with a
# fake application server behind the connection (a real cht-server answers the launch).
if(TARGET cot09800 AND TARGET chtframework)
  cht_module_test(tests_screen ui
    ScreenTestSupport.h
    ScreenMainTest.cpp
    ScreenLaunchTest.cpp
    ScreenStateTest.cpp
    ScreenListTest.cpp
  )
endif()
