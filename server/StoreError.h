// Failure of the database itself (not of a business rule).
#pragma once

#include <stdexcept>
#include <string>

namespace cht::server {

class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace cht::server
