// Export macro of libchtplatform (data sets and widgets): one copy of their code for the
// framework and the module. Everything else in the library stays hidden.
#pragma once

#define CHT_PLATFORM_EXPORT __attribute__((visibility("default")))
