// Export macro of libchtwire, the codec shared by the screens' side and the server.
#pragma once

#define CHT_WIRE_EXPORT __attribute__((visibility("default")))
