// The call itself is malformed (arguments of the wrong number or type): answered as a JSON-RPC
// protocol error, not as a refusal of the rules.
#pragma once

#include <stdexcept>
#include <string>

namespace cht::server {

class ParamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace cht::server
