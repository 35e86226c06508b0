// The one exception type of the codec.
#pragma once

#include "cht_wire_export.h"

#include <stdexcept>

namespace cht::wire {

/// Raised for anything malformed on the wire. The message is Portuguese and names what is wrong.
class CHT_WIRE_EXPORT WireError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace cht::wire
