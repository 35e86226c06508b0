// JSON-RPC 2.0 over HTTP (POST /rpc).
// Request:  {"jsonrpc":"2.0","id":N,"method":"COT09800.rdmCancelaCHT.GetCHT","params":[...]}
// Success:  {"jsonrpc":"2.0","id":N,"result":{"ok":true,"refs":[...],"data":<packet>|null}}
// Refused:  {"jsonrpc":"2.0","id":N,"result":{"ok":false,"error":"<mensagem>"}}
// Protocol: {"jsonrpc":"2.0","id":N|null,"error":{"code":C,"message":"<mensagem>"}}
// "refs" holds the value of every parameter after the call, in order, so that by-reference
// arguments can be written back; by-value ones come back unchanged.
#pragma once

#include "ColumnTable.h"
#include "DeltaPacket.h"
#include "RpcDecodeError.h"
#include "cht_wire_export.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cht::wire {

/// One argument of a call: null, text, number (date-times travel as OLE numbers), a data packet
/// (key packets) or a delta packet.
struct RpcArg {
    enum class Kind : std::uint8_t { Null, Text, Number, Data, Delta };
    Kind kind = Kind::Null;
    std::string text;
    double number = 0;
    ColumnTable data;
    DeltaPacket delta;

    CHT_WIRE_EXPORT static RpcArg ofText(std::string t);
    CHT_WIRE_EXPORT static RpcArg ofNumber(double n);
    CHT_WIRE_EXPORT static RpcArg ofData(ColumnTable t);
    CHT_WIRE_EXPORT static RpcArg ofDelta(DeltaPacket d);
};

struct RpcRequest {
    std::int64_t id = 0;
    std::string method; // "Object.Method"
    std::vector<RpcArg> params;
};

/// JSON-RPC error codes used by both ends.
enum RpcErrorCode : int {
    kParseError = -32700,
    kInvalidRequest = -32600,
    kMethodNotFound = -32601,
    kInvalidParams = -32602,
    kInternalError = -32603,
};

struct RpcResponse {
    std::int64_t id = 0;
    // Protocol error (code != 0): the call itself failed.
    int errorCode = 0;
    std::string errorMessage;
    // Result: ok, or a failure report of the server's rules.
    bool ok = false;
    std::string failure;
    std::vector<RpcArg> refs;
    std::optional<ColumnTable> data;
};

CHT_WIRE_EXPORT std::string encodeRequest(const RpcRequest& request);
/// Throws WireError (an RpcDecodeError, which bears the code and the id) for anything that is
/// not a valid request.
CHT_WIRE_EXPORT RpcRequest decodeRequest(std::string_view json);

/// Writes a successful result. dataJson is an already encoded data packet, or empty for null.
CHT_WIRE_EXPORT std::string encodeResult(std::int64_t id, const std::vector<RpcArg>& refs,
                                         std::string_view dataJson);
/// The same, writing the envelope around the packet where it lies: a list of tens of megabytes
/// is not copied into fresh memory once more.
CHT_WIRE_EXPORT std::string encodeResultAround(std::int64_t id, const std::vector<RpcArg>& refs,
                                               std::string&& dataJson);
CHT_WIRE_EXPORT std::string encodeFailure(std::int64_t id, std::string_view message);
/// id < 0 writes a null id (the request could not be read).
CHT_WIRE_EXPORT std::string encodeProtocolError(std::int64_t id, int code,
                                                std::string_view message);
/// Decodes any of the three reply shapes; malformed replies throw WireError.
CHT_WIRE_EXPORT RpcResponse decodeResponse(std::string_view json);

} // namespace cht::wire
