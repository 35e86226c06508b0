// A business rule refused the call; the message goes to the operator as it stands.
#pragma once

#include <stdexcept>
#include <string>

namespace cht::server {

class RuleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace cht::server
