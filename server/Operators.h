// The operators' table as an administrator changes it from the command line.
#pragma once

#include "SqlConnection.h"

#include <string>

namespace cht::server {

class Operators {
public:
    /// Sets the password hash; an operator not in the table yet is added (named by its code).
    static void setPassword(SqlConnection& c, const std::string& code, const std::string& hash);
    /// Adds or replaces an operator with a name and a password hash (the demo's).
    static void put(SqlConnection& c, const std::string& code, const std::string& name,
                    const std::string& hash);
    /// Enables or disables sign-in (and the operator's open sessions); false when there is no
    /// such operator.
    static bool setActive(SqlConnection& c, const std::string& code, bool active);
    /// Codes are at most this long, as the clients' manager code.
    static constexpr std::size_t kMaxCode = 12;
};

} // namespace cht::server
