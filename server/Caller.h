// Who makes a call: the signed-in operator, the session, where from and when.
#pragma once

#include <cstdint>
#include <string>

namespace cht::server {

struct Caller {
    /// The operator's code (CDOPERADOR), as the session holds it.
    std::string operador;
    /// The session's number (NRSESSAO), which the audit trail records.
    std::int64_t session = 0;
    /// The client's address.
    std::string address;
    /// When the call arrived: milliseconds since 1970 (UTC).
    std::int64_t at = 0;
};

} // namespace cht::server
