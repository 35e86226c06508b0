// The error decodeRequest throws, with the JSON-RPC code to answer with.
#pragma once

#include "WireError.h"
#include "cht_wire_export.h"

#include <cstdint>
#include <string>

namespace cht::wire {

/// What decodeRequest throws: a WireError that also carries the JSON-RPC code to answer with
/// (kParseError for unreadable JSON, kInvalidRequest for a wrong envelope, kInvalidParams for a
/// malformed argument), and the request's id when it could be read (-1 otherwise).
class CHT_WIRE_EXPORT RpcDecodeError : public WireError {
public:
    RpcDecodeError(int code, const std::string& message, std::int64_t id = -1)
        : WireError(message), m_code(code), m_id(id)
    {}
    int code() const { return m_code; }
    std::int64_t id() const { return m_id; }

private:
    int m_code;
    std::int64_t m_id;
};

} // namespace cht::wire
