// Export macro of libchtframework, the host's screen framework that implements these contracts.
#pragma once

#define CHT_FRAMEWORK_EXPORT __attribute__((visibility("default")))
