// Export macro of libcot09800: the screen classes, handlers, module state and factories the host
// may reach. Everything else in the module stays hidden.
#pragma once

#define CHT_MODULE_EXPORT __attribute__((visibility("default")))
