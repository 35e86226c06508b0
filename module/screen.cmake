# The package unit and the CHT management screen unit.
list(APPEND MODULE_SOURCES
  Pkg_cot09800.h
  Pkg_cot09800.cpp
  Cli_cot09800.h
  Cli_cot09800.cpp
  Cli_cot09800Layout.cpp
  Cli_cot09800Pictures.h
  Cli_cot09800Pictures.cpp
)
