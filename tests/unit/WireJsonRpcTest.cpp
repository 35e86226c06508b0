#include "platform/wire/Wire.h"

#include <gtest/gtest.h>

#include <limits>
#include <thread>

using namespace cht::wire;

namespace {

ColumnTable keyTable()
{
    ColumnTable t({{"NRPROPOSFAS", FieldType::Text, 10}, {"CDFUNC", FieldType::Text, 10}});
    t.appendRow();
    t.setText(0, 0, "0000012345");
    t.setText(0, 1, "F01");
    return t;
}

int requestCode(const std::string& json)
{
    try {
        decodeRequest(json);
    } catch (const RpcDecodeError& e) {
        return e.code();
    }
    return 0;
}

} // namespace

TEST(WireJsonRpc, RequestRoundTripWithEveryKindOfArgument)
{
    RpcRequest r;
    r.id = 17;
    r.method = "COT09800.rdmCancelaCHT.GetCHT";
    r.params.push_back(RpcArg::ofText("[\"C1\",\"C,2\"]"));
    r.params.push_back(RpcArg::ofText(""));
    r.params.push_back(RpcArg::ofNumber(46000.75));
    r.params.push_back(RpcArg{});
    r.params.push_back(RpcArg::ofData(keyTable()));
    DeltaPacket d({{"IDCHECK", FieldType::Text, 1}});
    d.add(ChangeOp::Update, {std::string("N")}, {std::string("S")});
    r.params.push_back(RpcArg::ofDelta(d));

    const RpcRequest back = decodeRequest(encodeRequest(r));
    EXPECT_EQ(back.id, 17);
    EXPECT_EQ(back.method, r.method);
    ASSERT_EQ(back.params.size(), 6u);
    EXPECT_EQ(back.params[0].kind, RpcArg::Kind::Text);
    EXPECT_EQ(back.params[0].text, "[\"C1\",\"C,2\"]");
    EXPECT_EQ(back.params[1].kind, RpcArg::Kind::Text);
    EXPECT_EQ(back.params[2].kind, RpcArg::Kind::Number);
    EXPECT_EQ(back.params[2].number, 46000.75);
    EXPECT_EQ(back.params[3].kind, RpcArg::Kind::Null);
    ASSERT_EQ(back.params[4].kind, RpcArg::Kind::Data);
    EXPECT_EQ(back.params[4].data.text(0, 0), "0000012345");
    ASSERT_EQ(back.params[5].kind, RpcArg::Kind::Delta);
    ASSERT_EQ(back.params[5].delta.size(), 1u);
    EXPECT_EQ(back.params[5].delta.after().text(0, 0), "S");

    const RpcRequest none = decodeRequest(R"({"jsonrpc":"2.0","id":1,"method":"X.GetData"})");
    EXPECT_TRUE(none.params.empty());

    RpcRequest bad = r;
    bad.id = -1;
    EXPECT_THROW(encodeRequest(bad), WireError);
    bad = r;
    bad.params.push_back(RpcArg::ofNumber(std::numeric_limits<double>::infinity()));
    EXPECT_THROW(encodeRequest(bad), WireError);
    bad = r;
    bad.params.push_back(RpcArg::ofText("\xC3"));
    EXPECT_THROW(encodeRequest(bad), WireError);
}

TEST(WireJsonRpc, BadRequestsCarryTheRightCode)
{
    EXPECT_EQ(requestCode("{\"jsonrpc\":\"2.0\",\"id\":1,"), kParseError);
    EXPECT_EQ(requestCode("not json"), kParseError);
    EXPECT_EQ(requestCode(""), kParseError);
    EXPECT_EQ(requestCode("[]"), kInvalidRequest);
    EXPECT_EQ(requestCode(R"({"jsonrpc":"1.0","id":1,"method":"M"})"), kInvalidRequest);
    EXPECT_EQ(requestCode(R"({"id":1,"method":"M"})"), kInvalidRequest);
    EXPECT_EQ(requestCode(R"({"jsonrpc":"2.0","method":"M"})"), kInvalidRequest);
    EXPECT_EQ(requestCode(R"({"jsonrpc":"2.0","id":"a","method":"M"})"), kInvalidRequest);
    EXPECT_EQ(requestCode(R"({"jsonrpc":"2.0","id":1,"method":""})"), kInvalidRequest);
    EXPECT_EQ(requestCode(R"({"jsonrpc":"2.0","id":1,"method":"M","params":{}})"), kInvalidParams);
    EXPECT_EQ(requestCode("nul"), kParseError);
    EXPECT_EQ(requestCode("\"abc"), kParseError);
    EXPECT_EQ(requestCode("12x"), kParseError);
    EXPECT_EQ(requestCode("12"), kInvalidRequest);
    EXPECT_EQ(requestCode("\"abc\""), kInvalidRequest);
    EXPECT_EQ(requestCode(R"({"jsonrpc":"2.0","id":1,"method":"M","params":[true]})"),
              kInvalidParams);
    EXPECT_EQ(requestCode(R"({"jsonrpc":"2.0","id":1,"method":"M","params":[[1]]})"),
              kInvalidParams);
    EXPECT_EQ(requestCode(R"({"jsonrpc":"2.0","id":1,"method":"M","params":[{"rows":[]}]})"),
              kInvalidParams);
    EXPECT_EQ(requestCode(R"({"jsonrpc":"2.0","id":1,"method":"M","params":[1e999]})"),
              kInvalidParams);
    EXPECT_EQ(requestCode(R"({"jsonrpc":"2.0","id":1,"method":"M","params":[]} [])"), kParseError);
    try {
        decodeRequest(
            R"({"jsonrpc":"2.0","id":9,"method":"M","params":[{"fields":[{"name":"A","type":"integer"}],"rows":[["x"]]}]})");
        FAIL();
    } catch (const RpcDecodeError& e) {
        EXPECT_EQ(e.code(), kInvalidParams);
        EXPECT_EQ(e.id(), 9) << "the id read before the failure is kept for the reply";
        EXPECT_NE(std::string(e.what()).find("campo \"A\" da linha 1"), std::string::npos)
            << e.what();
    }
}

TEST(WireJsonRpc, ResultSplicesTheEncodedPacket)
{
    const std::string data = encodeDataPacket(keyTable());
    const std::string reply = encodeResult(5, {RpcArg::ofText("C1"), RpcArg::ofNumber(2.5)}, data);
    EXPECT_NE(reply.find(data), std::string::npos);
    const RpcResponse r = decodeResponse(reply);
    EXPECT_EQ(r.id, 5);
    EXPECT_EQ(r.errorCode, 0);
    EXPECT_TRUE(r.ok);
    ASSERT_EQ(r.refs.size(), 2u);
    EXPECT_EQ(r.refs[0].text, "C1");
    EXPECT_EQ(r.refs[1].number, 2.5);
    ASSERT_TRUE(r.data.has_value());
    EXPECT_EQ(r.data->text(0, 1), "F01");

    const RpcResponse empty = decodeResponse(encodeResult(6, {}, ""));
    EXPECT_TRUE(empty.ok);
    EXPECT_FALSE(empty.data.has_value());

    // Written around the packet in place, the reply is the same bytes.
    const std::vector<RpcArg> refs{RpcArg::ofText("C1"), RpcArg::ofNumber(2.5)};
    EXPECT_EQ(encodeResultAround(5, refs, std::string(data)), reply);
    EXPECT_EQ(encodeResultAround(6, {}, std::string()), encodeResult(6, {}, ""));

    // A packet in parts: the reply's texts, sent one after another, are the same bytes.
    const std::size_t cut = data.size() / 3;
    std::vector<std::string> more{"already there"};
    std::string head = encodeResultAround(RpcId::of(5), refs, data.substr(0, cut),
                                          {data.substr(cut, cut), data.substr(2 * cut)}, more);
    ASSERT_EQ(more.size(), 5u);
    EXPECT_EQ(more.front(), "already there");
    for (std::size_t i = 1; i < more.size(); ++i)
        head += more[i];
    EXPECT_EQ(head, reply);
    more.clear();
    EXPECT_EQ(encodeResultAround(RpcId::of(5), refs, std::string(data), {}, more), reply);
    EXPECT_TRUE(more.empty());
}

// A reply received with room past its end is read where it lies: what lies in that room is no
// part of it, and a reply cut short there is still refused.
TEST(WireJsonRpc, ReplyReadInPlaceEndsAtItsLength)
{
    const std::string whole = encodeResult(5, {RpcArg::ofText("C1")}, encodeDataPacket(keyTable()));
    std::string received = whole;
    received.reserve(whole.size() + kReadPadding);
    const RpcResponse r = decodeResponse(received, received.capacity());
    ASSERT_TRUE(r.data.has_value());
    EXPECT_EQ(r.data->text(0, 0), "0000012345");
    EXPECT_EQ(r.refs.at(0).text, "C1");

    // The first half of the reply, with the second half still in the bytes past its end.
    std::string cut = whole + std::string(kReadPadding, ' ');
    const std::size_t half = whole.size() / 2;
    EXPECT_THROW(decodeResponse(std::string_view(cut.data(), half), cut.size()), WireError);
    // Room too small for the padding: read from a copy, as before.
    EXPECT_EQ(decodeResponse(whole, whole.size()).refs.at(0).text, "C1");
}

// Replies over the size of the per-thread parser share one kept parser: read one after another
// (a smaller after a bigger, a bigger after a failure) and side by side, each comes out whole.
TEST(WireJsonRpc, BigRepliesReadOneAfterAnotherAndSideBySide)
{
    const std::string filler(80, 'x');
    auto cell = [&](std::int64_t id, std::size_t row) {
        return std::to_string(id) + "-" + std::to_string(row) + filler;
    };
    auto bigReply = [&](std::int64_t id, std::size_t rows) {
        ColumnTable t({{"K", FieldType::Text, 0}, {"N", FieldType::Integer, 0}});
        for (std::size_t r = 0; r < rows; ++r) {
            t.appendRow();
            t.setText(r, 0, cell(id, r));
            t.setInteger(r, 1, static_cast<std::int64_t>(r) * id);
        }
        return encodeResult(id, {}, encodeDataPacket(t));
    };
    const std::string a = bigReply(3, 80000), b = bigReply(7, 50000);
    ASSERT_GT(b.size(), 4u << 20);
    auto readsRight = [&](const std::string& reply, std::int64_t id, std::size_t rows) {
        const RpcResponse r = decodeResponse(reply);
        const std::size_t last = rows - 1;
        return r.id == id && r.data && r.data->rowCount() == rows &&
               r.data->text(last, 0) == cell(id, last) &&
               r.data->integer(last, 1) == static_cast<std::int64_t>(last) * id;
    };
    EXPECT_TRUE(readsRight(a, 3, 80000));
    EXPECT_TRUE(readsRight(b, 7, 50000));
    EXPECT_THROW(decodeResponse(std::string_view(a).substr(0, a.size() - 3)), WireError);
    EXPECT_TRUE(readsRight(a, 3, 80000));

    bool rightA = true, rightB = true;
    std::thread other([&] {
        for (int i = 0; i < 4; ++i)
            rightB = readsRight(b, 7, 50000) && rightB;
    });
    for (int i = 0; i < 4; ++i)
        rightA = readsRight(a, 3, 80000) && rightA;
    other.join();
    EXPECT_TRUE(rightA);
    EXPECT_TRUE(rightB);
}

// A long list as the server writes it (a row a line) is read in pieces side by side: the same
// table as read whole, texts that hold escaped line breaks and brackets included, the reply's
// bytes as they were; a fault deep in a later piece gets the message the whole reading gives.
TEST(WireJsonRpc, LongListsReadInPiecesAsTheyReadWhole)
{
    constexpr std::size_t kRows = 60000;
    auto text = [](std::size_t row) {
        return "linha " + std::to_string(row) + (row % 7 == 0 ? "]\n,[\"x\"]" : "") +
               std::string(60, 'a' + static_cast<char>(row % 26));
    };
    auto listReply = [&](std::size_t badRow) {
        std::string packet;
        PacketWriter w(packet);
        w.begin(
            {{"T", FieldType::Text, 0}, {"N", FieldType::Float, 0}, {"I", FieldType::Integer, 0}});
        for (std::size_t r = 0; r < kRows; ++r) {
            w.beginRow();
            w.text(text(r));
            if (r % 5 == 0)
                w.null();
            else
                w.number(static_cast<double>(r) / 4);
            w.integer(static_cast<std::int64_t>(r));
            w.endRow();
        }
        w.end();
        if (badRow < kRows) {
            const std::string cell = "\"" + text(badRow) + "\"";
            packet.replace(packet.find(cell), cell.size(), "7"); // a number where a text goes
        }
        std::string reply = encodeResult(9, {RpcArg::ofText("ref")}, std::move(packet));
        reply.reserve(reply.size() + kReadPadding);
        return reply;
    };
    std::string reply = listReply(kRows);
    ASSERT_GT(reply.size(), 4u << 20);
    const std::string before = reply;
    const RpcResponse whole = decodeResponse(before);
    const RpcResponse pieces = decodeResponseInPlace(reply);
    EXPECT_EQ(reply, before);
    ASSERT_TRUE(whole.data && pieces.data);
    ASSERT_EQ(pieces.data->rowCount(), kRows);
    EXPECT_EQ(pieces.refs.at(0).text, "ref");
    for (std::size_t r = 0; r < kRows; ++r) {
        for (std::size_t c = 0; c < 3; ++c) {
            if (!(pieces.data->value(r, c) == whole.data->value(r, c))) {
                ADD_FAILURE() << "row " << r << " col " << c;
                return;
            }
        }
    }

    std::string bad = listReply(kRows - 11); // a row without escapes
    std::string message;
    try {
        decodeResponse(bad);
    } catch (const WireError& e) {
        message = e.what();
    }
    EXPECT_NE(message.find("linha " + std::to_string(kRows - 10)), std::string::npos) << message;
    EXPECT_THROW(
        {
            try {
                decodeResponseInPlace(bad);
            } catch (const WireError& e) {
                EXPECT_EQ(std::string(e.what()), message);
                throw;
            }
        },
        WireError);
}

TEST(WireJsonRpc, FailureAndProtocolError)
{
    const RpcResponse f = decodeResponse(encodeFailure(3, "CHT 00001 alterada por outro usuário."));
    EXPECT_EQ(f.id, 3);
    EXPECT_FALSE(f.ok);
    EXPECT_EQ(f.errorCode, 0);
    EXPECT_EQ(f.failure, "CHT 00001 alterada por outro usuário.");

    const RpcResponse p = decodeResponse(encodeProtocolError(-1, kParseError, "JSON inválido"));
    EXPECT_EQ(p.id, -1);
    EXPECT_EQ(p.errorCode, kParseError);
    EXPECT_EQ(p.errorMessage, "JSON inválido");
    EXPECT_NE(encodeProtocolError(-1, kParseError, "x").find("\"id\":null"), std::string::npos);

    // A message with broken bytes still goes out as valid JSON.
    const RpcResponse broken = decodeResponse(encodeFailure(4, "erro \xFF fim"));
    EXPECT_EQ(broken.failure, "erro ? fim");
}

TEST(WireJsonRpc, MalformedRepliesAreErrors)
{
    const char* cases[] = {
        "",
        "<html>502</html>",
        R"({"jsonrpc":"2.0","id":1})",
        R"({"jsonrpc":"2.0","id":1,"result":{"ok":true},"error":{"code":1,"message":"x"}})",
        R"({"jsonrpc":"2.0","id":1,"result":{"refs":[]}})",
        R"({"jsonrpc":"2.0","id":1,"result":{"ok":false}})",
        R"({"jsonrpc":"2.0","id":1,"result":{"ok":"yes"}})",
        R"({"jsonrpc":"2.0","id":1,"result":{"ok":true,"data":[]}})",
        R"({"jsonrpc":"2.0","id":1,"result":{"ok":true,"data":{"fields":[],"rows":[[1]]}}})",
        R"({"jsonrpc":"2.0","id":1,"error":{"code":0,"message":"x"}})",
        R"({"jsonrpc":"2.0","id":1,"error":{"message":"x"}})",
        R"({"jsonrpc":"2.0","id":1,"error":"x"})",
        R"({"jsonrpc":"2.0","id":1.5,"result":{"ok":true}})",
        R"({"jsonrpc":"2.0","id":1,"result":{"ok":true}} trailing)",
    };
    for (const char* json : cases)
        EXPECT_THROW(decodeResponse(json), WireError) << json;
    const std::string reply = encodeResult(1, {RpcArg::ofText("a")}, encodeDataPacket(keyTable()));
    for (std::size_t n = 0; n < reply.size(); ++n)
        EXPECT_THROW(decodeResponse(reply.substr(0, n)), WireError) << n;
}

namespace {

/// "code id" per request of a body read the server's way ("0 null" for a valid notification,
/// "0 <id>" for a valid request), or "! code" when the body as a whole is refused.
std::vector<std::string> envelopes(const std::string& body)
{
    RpcBodyReader reader(body);
    if (reader.errorCode() != 0)
        return {"! " + std::to_string(reader.errorCode())};
    std::vector<std::string> out;
    for (const RpcEnvelope& e : reader.requests())
        out.push_back(std::to_string(e.errorCode) + " " +
                      (e.notification() ? std::string("-") : e.id.json));
    return out;
}

using Lines = std::vector<std::string>;

} // namespace

// The examples of the JSON-RPC 2.0 specification, as the server's reader sees them.
TEST(WireJsonRpcBody, SpecificationExamples)
{
    EXPECT_EQ(envelopes(R"({"jsonrpc": "2.0", "method": "subtract", "params": [42, 23], "id": 1})"),
              Lines{"0 1"});
    EXPECT_EQ(envelopes(R"({"jsonrpc": "2.0", "method": "subtract", "params": [23, 42], "id": 2})"),
              Lines{"0 2"});
    // Notifications: no id.
    EXPECT_EQ(envelopes(R"({"jsonrpc": "2.0", "method": "update", "params": [1,2,3,4,5]})"),
              Lines{"0 -"});
    EXPECT_EQ(envelopes(R"({"jsonrpc": "2.0", "method": "foobar"})"), Lines{"0 -"});
    // Ids of either kind, kept as sent.
    EXPECT_EQ(envelopes(R"({"jsonrpc": "2.0", "method": "foobar", "id": "1"})"), Lines{"0 \"1\""});
    EXPECT_EQ(envelopes(R"({"id": "a\"b\u00e9" , "jsonrpc": "2.0", "method": "m"})"),
              Lines{"0 \"a\\\"b\\u00e9\""});
    EXPECT_EQ(envelopes(R"({"jsonrpc":"2.0","method":"m","id":12345678901234567890})"),
              Lines{"0 12345678901234567890"});
    EXPECT_EQ(envelopes(R"({"jsonrpc":"2.0","method":"m","id":-1.5e3})"), Lines{"0 -1.5e3"});
    EXPECT_EQ(envelopes(R"({"jsonrpc":"2.0","method":"m","id":null})"), Lines{"0 null"});
    // Invalid JSON, an invalid request object, batches that are not JSON or empty.
    EXPECT_EQ(envelopes(R"({"jsonrpc": "2.0", "method": "foobar, "params": "bar", "baz])"),
              Lines{"! -32700"});
    EXPECT_EQ(envelopes(R"({"jsonrpc": "2.0", "method": 1, "params": "bar"})"),
              Lines{"-32600 null"});
    EXPECT_EQ(envelopes(R"([
  {"jsonrpc": "2.0", "method": "sum", "params": [1,2,4], "id": "1"},
  {"jsonrpc": "2.0", "method"
])"),
              Lines{"! -32700"});
    EXPECT_EQ(envelopes("[]"), Lines{"! -32600"});
    EXPECT_EQ(envelopes("[1]"), Lines{"-32600 null"});
    EXPECT_EQ(envelopes("[1,2,3]"), (Lines{"-32600 null", "-32600 null", "-32600 null"}));
    EXPECT_EQ(envelopes(R"([
        {"jsonrpc": "2.0", "method": "sum", "params": [1,2,4], "id": "1"},
        {"jsonrpc": "2.0", "method": "notify_hello", "params": [7]},
        {"jsonrpc": "2.0", "method": "subtract", "params": [42,23], "id": "2"},
        {"foo": "boo"},
        {"jsonrpc": "2.0", "method": "foo.get", "params": {"name": "myself"}, "id": "5"},
        {"jsonrpc": "2.0", "method": "get_data", "id": "9"}
    ])"),
              (Lines{"0 \"1\"", "0 -", "0 \"2\"", "-32600 null", "0 \"5\"", "0 \"9\""}));
    EXPECT_EQ(envelopes(R"([
        {"jsonrpc": "2.0", "method": "notify_sum", "params": [1,2,4]},
        {"jsonrpc": "2.0", "method": "notify_hello", "params": [7]}
    ])"),
              (Lines{"0 -", "0 -"}));
    // An id that is neither a number, a text nor null; a broken item inside a batch.
    EXPECT_EQ(envelopes(R"({"jsonrpc":"2.0","method":"m","id":[1]})"), Lines{"-32600 null"});
    EXPECT_EQ(envelopes(R"([{"jsonrpc":"2.0","method":"m","id":1}, [1,]])"), Lines{"! -32700"});
    EXPECT_EQ(envelopes(R"({"jsonrpc":"2.0","method":"m","id":1} {})"), Lines{"! -32700"});
}

TEST(WireJsonRpcBody, ArgumentsAreReadPerRequestAfterTheEnvelope)
{
    RpcBodyReader reader(R"([
        {"params": [["not", "a packet"]], "jsonrpc": "2.0", "method": "a", "id": 1},
        {"jsonrpc": "2.0", "method": "b", "id": "x", "params": {"by": "name"}},
        {"jsonrpc": "2.0", "method": "c", "id": 3, "params": ["t", 2.5, null]},
        {"jsonrpc": "2.0", "method": "d", "id": 4}
    ])");
    ASSERT_EQ(reader.errorCode(), 0);
    ASSERT_TRUE(reader.isBatch());
    ASSERT_EQ(reader.requests().size(), 4u);
    EXPECT_EQ(reader.requests()[0].method, "a");
    auto codeOf = [&](std::size_t i) {
        try {
            reader.params(i);
        } catch (const RpcDecodeError& e) {
            return e.code();
        }
        return 0;
    };
    EXPECT_EQ(codeOf(0), kInvalidParams);
    EXPECT_EQ(codeOf(1), kInvalidParams);
    const std::vector<RpcArg> third = reader.params(2);
    ASSERT_EQ(third.size(), 3u);
    EXPECT_EQ(third[0].text, "t");
    EXPECT_EQ(third[1].number, 2.5);
    EXPECT_EQ(third[2].kind, RpcArg::Kind::Null);
    EXPECT_TRUE(reader.params(3).empty());
    // Read again, in any order: the same.
    EXPECT_EQ(reader.params(2).size(), 3u);

    // Answers echo the id as it was sent.
    const RpcId text{"\"a\\\"b\""};
    EXPECT_NE(encodeFailure(text, "x").find(",\"id\":\"a\\\"b\","), std::string::npos);
    EXPECT_EQ(decodeResponse(encodeProtocolError(RpcId::of(7), kMethodNotFound, "m")).id, 7);
    EXPECT_NE(encodeResultAround(RpcId{"-1.5e3"}, {}, std::string()).find("\"id\":-1.5e3,"),
              std::string::npos);
}
