// JSON-RPC 2.0 over HTTP (POST /rpc).
// Request:  {"jsonrpc":"2.0","id":N,"method":"COT09800.rdmCancelaCHT.GetCHT","params":[...]}
// Success:  {"jsonrpc":"2.0","id":N,"result":{"ok":true,"refs":[...],"data":<packet>|null}}
// Refused:  {"jsonrpc":"2.0","id":N,"result":{"ok":false,"error":"<mensagem>"}}
// Protocol: {"jsonrpc":"2.0","id":N|null,"error":{"code":C,"message":"<mensagem>"}}
// "refs" holds one value per parameter, in order: the by-reference arguments after the call, so
// that they can be written back; null where the method takes the argument by value.
// The server also reads what the JSON-RPC 2.0 specification allows any client to send: ids that
// are texts or numbers (echoed as sent), batches (an array of requests, answered by an array) and
// notifications (no id, no answer). This client sends whole-number ids, one call at a time.
#pragma once

#include "ColumnTable.h"
#include "DeltaPacket.h"
#include "RpcDecodeError.h"
#include "cht_wire_export.h"

#include <cstdint>
#include <memory>
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
    /// The server's own: too busy to take the call now (HTTP 503); it did not run.
    kServerBusy = -32000,
    /// The call needs a valid session (none, unknown, expired or revoked); it did not run, so the
    /// caller may sign in again and repeat it.
    kSessionRequired = -32001,
    /// The request came from a place the server does not serve (its Host, its content type).
    kRequestRefused = -32002,
};

/// A request's id as it travelled, kept as the JSON that wrote it ("7", "\"a7\"", "null") so that
/// the answer echoes it exactly; empty when the request had none (a notification).
struct RpcId {
    std::string json;
    bool present() const { return !json.empty(); }
    /// A whole-number id; a negative one writes null.
    CHT_WIRE_EXPORT static RpcId of(std::int64_t id);
    static RpcId null() { return {"null"}; }
};

/// One request of a body, as far as its envelope goes. The envelope is checked before any
/// argument is read, so that an unknown method is reported as such whatever its arguments.
struct RpcEnvelope {
    RpcId id;
    std::string method;
    /// Non-zero when the envelope itself is wrong (kInvalidRequest): answered even without an id,
    /// with the id when it could be read and null otherwise.
    int errorCode = 0;
    std::string errorMessage;
    /// A well-formed request without an id: it runs, and nothing is answered.
    bool notification() const { return errorCode == 0 && !id.present(); }
};

/// A request body: one request or a batch. Every envelope is read at once; each request's
/// arguments only when asked for, so that a batch holds the decoded arguments of one request at a
/// time.
class CHT_WIRE_EXPORT RpcBodyReader {
public:
    /// `capacity` as for decodeResponse: with kReadPadding bytes readable past its end, a long
    /// body (a delta of 100,000 rows) is read where it lies instead of copied.
    explicit RpcBodyReader(std::string_view body, std::size_t capacity = 0);
    ~RpcBodyReader();
    RpcBodyReader(const RpcBodyReader&) = delete;
    RpcBodyReader& operator=(const RpcBodyReader&) = delete;

    /// Non-zero when the body as a whole gets one error answer with a null id: not JSON
    /// (kParseError), an empty batch or a value that is no request at all (kInvalidRequest).
    int errorCode() const;
    const std::string& errorMessage() const;
    bool isBatch() const;
    /// The requests in order (one unless a batch).
    const std::vector<RpcEnvelope>& requests() const;
    /// The arguments of request i, whose envelope is valid. Throws RpcDecodeError
    /// (kInvalidParams, or kParseError for broken JSON inside them).
    std::vector<RpcArg> params(std::size_t i);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
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
/// The same from arguments held elsewhere: a delta of 100,000 rows is written where it lies,
/// not copied into a request first.
CHT_WIRE_EXPORT std::string encodeRequest(std::int64_t id, std::string_view method,
                                          const std::vector<const RpcArg*>& params);
/// A request as this client sends it (one call with a whole-number id). Throws WireError (an
/// RpcDecodeError, which bears the code and the id) for anything else.
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
/// The same three answers with the id as the request sent it.
CHT_WIRE_EXPORT std::string encodeResultAround(const RpcId& id, const std::vector<RpcArg>& refs,
                                               std::string&& dataJson);
/// The same for a packet written in parts (`dataJson`, then the texts of `apart`, as a
/// PacketWriter keeps blocks apart): returns the reply's first text and appends to `more` the
/// texts that follow it, to be sent after it as they are. Nothing of the packet is moved.
CHT_WIRE_EXPORT std::string encodeResultAround(const RpcId& id, const std::vector<RpcArg>& refs,
                                               std::string&& dataJson,
                                               std::vector<std::string>&& apart,
                                               std::vector<std::string>& more);
CHT_WIRE_EXPORT std::string encodeFailure(const RpcId& id, std::string_view message);
CHT_WIRE_EXPORT std::string encodeProtocolError(const RpcId& id, int code,
                                                std::string_view message);
/// Bytes a reply may keep readable past its end so that decodeResponse reads it in place.
inline constexpr std::size_t kReadPadding = 64;

/// Decodes any of the three reply shapes; malformed replies throw WireError. `capacity` is how
/// many bytes are readable from json.data(): with kReadPadding of them past the end, the reply is
/// read where it lies instead of copied.
CHT_WIRE_EXPORT RpcResponse decodeResponse(std::string_view json, std::size_t capacity = 0);
/// The same for a reply the caller owns: the rows of a long list (which the server's writer sets
/// on lines of their own) are read in pieces side by side, bytes of `reply` changed meanwhile and
/// put back. The result, and any error, are decodeResponse's.
CHT_WIRE_EXPORT RpcResponse decodeResponseInPlace(std::string& reply);

} // namespace cht::wire
