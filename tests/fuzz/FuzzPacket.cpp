// Every decoder of the wire codec on the same input. A decoder may only return or throw
// WireError; what it accepts must survive a round trip through its encoder unchanged.
#include "platform/wire/Wire.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace cht::wire;

namespace {

void check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

bool sameTable(const ColumnTable& a, const ColumnTable& b)
{
    if (a.fields() != b.fields() || a.rowCount() != b.rowCount())
        return false;
    for (std::size_t r = 0; r < a.rowCount(); ++r)
        for (std::size_t c = 0; c < a.columnCount(); ++c)
            if (a.value(r, c) != b.value(r, c))
                return false;
    return true;
}

void dataPacket(std::string_view in)
{
    ColumnTable t;
    try {
        t = decodeDataPacket(in);
    } catch (const WireError&) {
        return;
    }
    const std::string once = encodeDataPacket(t);
    const ColumnTable back = decodeDataPacket(once);
    check(sameTable(t, back));
    check(encodeDataPacket(back) == once);
    for (std::size_t c = 0; c < t.columnCount(); ++c)
        if (t.fields()[c].type == FieldType::DateTime)
            for (std::size_t r = 0; r < t.rowCount(); ++r)
                if (!t.isNull(r, c))
                    civilFromOle(t.number(r, c)); // in range by then: must not throw
}

void deltaPacket(std::string_view in)
{
    DeltaPacket d;
    try {
        d = decodeDeltaPacket(in);
    } catch (const WireError&) {
        return;
    }
    const std::string once = encodeDeltaPacket(d);
    check(encodeDeltaPacket(decodeDeltaPacket(once)) == once);
}

void keyList(std::string_view in)
{
    std::vector<std::string> keys;
    try {
        keys = decodeKeyList(in);
    } catch (const WireError&) {
        return;
    }
    check(decodeKeyList(encodeKeyList(keys)) == keys);
}

void request(std::string_view in)
{
    RpcRequest r;
    try {
        r = decodeRequest(in);
    } catch (const WireError&) {
        return;
    }
    const std::string once = encodeRequest(r);
    check(encodeRequest(decodeRequest(once)) == once);
}

// The server's reader: every envelope, then the arguments of each valid one; the id of any goes
// back into an answer that this codec reads as JSON-RPC.
void body(std::string_view in)
{
    RpcBodyReader reader(in);
    for (std::size_t i = 0; i < reader.requests().size(); ++i) {
        const RpcEnvelope& env = reader.requests()[i];
        const std::string answer = encodeProtocolError(env.id, kInvalidParams, env.method);
        check(RpcBodyReader("[" + answer + "]").errorCode() == 0);
        if (env.errorCode != 0)
            continue;
        try {
            reader.params(i);
        } catch (const WireError&) {
        }
    }
}

void response(std::string_view in)
{
    try {
        const RpcResponse r = decodeResponse(in);
        if (r.errorCode == 0 && r.ok) {
            const std::string data = r.data ? encodeDataPacket(*r.data) : std::string();
            const RpcResponse back = decodeResponse(encodeResult(r.id, r.refs, data));
            check(back.ok && back.refs.size() == r.refs.size() &&
                  back.data.has_value() == r.data.has_value());
        }
    } catch (const WireError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    dataPacket(in);
    deltaPacket(in);
    keyList(in);
    request(in);
    body(in);
    response(in);
    return 0;
}
