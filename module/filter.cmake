# Unit Cli_cot09801: the CHT filter screen and Filtro.
list(APPEND MODULE_SOURCES
  Cli_cot09801.h
  Cli_cot09801.cpp
  Cli_cot09801Layout.cpp
)
