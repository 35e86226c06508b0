// Raised by the date editor for a text that is not a date.
#pragma once

#include "cht_platform_export.h"

#include <stdexcept>

namespace cht::platform {

/// The message is Portuguese and quotes the text typed.
class CHT_PLATFORM_EXPORT DateEditError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace cht::platform
