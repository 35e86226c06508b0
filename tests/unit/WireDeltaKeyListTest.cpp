#include "platform/wire/Wire.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace cht::wire;

namespace {

DeltaPacket sampleDelta()
{
    DeltaPacket d;
    d.fields = {{"NRSEQUCHT", FieldType::Text, 5},
                {"IDCHTASSINADA", FieldType::Text, 1},
                {"DTGERACAO", FieldType::DateTime, 0},
                {"QTHORAS", FieldType::Integer, 0}};
    d.changes.push_back({ChangeOp::Update,
                         {std::string("00001"), std::string("N"), 46000.5, std::int64_t{8}},
                         {std::string("00001"), std::string("S"), 46000.5, std::int64_t{8}}});
    d.changes.push_back(
        {ChangeOp::Insert, {}, {std::string("00002"), std::monostate{}, -1.25, std::monostate{}}});
    d.changes.push_back(
        {ChangeOp::Delete, {std::string("00\"3"), std::string("é"), 1.0, std::int64_t{-1}}, {}});
    return d;
}

std::string deltaError(const std::string& json)
{
    try {
        decodeDeltaPacket(json);
    } catch (const WireError& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(WireDelta, RoundTrip)
{
    const DeltaPacket d = sampleDelta();
    const DeltaPacket back = decodeDeltaPacket(encodeDeltaPacket(d));
    ASSERT_EQ(back.fields, d.fields);
    ASSERT_EQ(back.changes.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back.changes[i].op, d.changes[i].op);
        EXPECT_EQ(back.changes[i].oldValues, d.changes[i].oldValues) << i;
        EXPECT_EQ(back.changes[i].newValues, d.changes[i].newValues) << i;
    }
    EXPECT_EQ(back.indexOf("idchtassinada"), 1);
    EXPECT_EQ(back.indexOf("X"), -1);
}

TEST(WireDelta, DecoderChecksEveryChange)
{
    const std::string f =
        R"({"fields":[{"name":"A","type":"text","size":2},{"name":"N","type":"integer"}],)";
    // Keys in any order; texts cut to the field size.
    const DeltaPacket ok =
        decodeDeltaPacket(f + R"("changes":[{"new":["abc",1],"old":["x",null],"op":"update"}]})");
    ASSERT_EQ(ok.changes.size(), 1u);
    EXPECT_EQ(ok.changes[0].newValues[0], Value{std::string("ab")});
    EXPECT_TRUE(isNull(ok.changes[0].oldValues[1]));

    struct Case {
        const char* changes;
        const char* expect;
    };
    const Case cases[] = {
        {R"([{"op":"update","new":["a",1]}])", "alteração 1"},
        {R"([{"op":"insert","old":["a",1],"new":["a",1]}])", "alteração 1"},
        {R"([{"op":"delete","new":["a",1]}])", "alteração 1"},
        {R"([{"op":"upsert","new":["a",1]}])", "operação desconhecida"},
        {R"([{"new":["a",1]}])", "não tem \"op\""},
        {R"([{"op":"insert","new":["a"]}])", "\"new\" da alteração 1 tem 1 valor,"},
        {R"([{"op":"insert","new":["a",1,2]}])", "\"new\" da alteração 1 tem mais de 2"},
        {R"([{"op":"insert","new":["a",1.5]}])", "campo \"N\" de \"new\" da alteração 1"},
        {R"([{"op":"insert","new":["a",1]},{"op":"delete","old":[1,1]}])",
         "campo \"A\" de \"old\" da alteração 2"},
        {R"([{"op":"insert","new":["a",1],"new":["a",1]}])", "repetida"},
        {R"([{"op":"insert","new":["a",1],"x":1}])", "inesperada"},
        {R"([["a",1]])", "alteração 1 deve ser um objeto"},
        {R"({})", "\"changes\" deve ser uma lista"},
    };
    for (const Case& c : cases) {
        const std::string message = deltaError(f + R"("changes":)" + c.changes + "}");
        EXPECT_NE(message.find("Pacote de alterações inválido: "), std::string::npos) << message;
        EXPECT_NE(message.find(c.expect), std::string::npos) << c.changes << " -> " << message;
    }
    EXPECT_FALSE(deltaError(f + R"("rows":[]})").empty()) << "a data packet is not a delta";
    const std::string full = encodeDeltaPacket(sampleDelta());
    for (std::size_t n = 0; n < full.size(); ++n)
        EXPECT_FALSE(deltaError(full.substr(0, n)).empty()) << n;
}

TEST(WireDelta, EncoderChecksEveryChange)
{
    DeltaPacket d = sampleDelta();
    d.changes[0].newValues.pop_back();
    EXPECT_THROW(encodeDeltaPacket(d), WireError);
    d = sampleDelta();
    d.changes[1].oldValues = d.changes[1].newValues;
    EXPECT_THROW(encodeDeltaPacket(d), WireError) << "an insert has no old values";
    d = sampleDelta();
    d.changes[0].newValues[3] = std::string("8");
    EXPECT_THROW(encodeDeltaPacket(d), WireError);
    d = sampleDelta();
    d.changes[0].newValues[2] = std::nan("");
    EXPECT_THROW(encodeDeltaPacket(d), WireError);
    // Invalid UTF-8 in a short text and at the end of a long one.
    for (const std::string& text : {std::string("\xC0\x80"), std::string(100, 'a') + "\xC3"}) {
        d = sampleDelta();
        d.changes[0].newValues[1] = text;
        EXPECT_THROW(encodeDeltaPacket(d), WireError) << text.size();
    }
}

TEST(WireKeyList, RoundTripWithCommasQuotesAndAccents)
{
    const std::vector<std::string> keys{"001",      "A,B", "say \"hi\"", "back\\slash",
                                        "São João", "",    "[x]"};
    const std::string text = encodeKeyList(keys);
    EXPECT_EQ(text.front(), '[');
    EXPECT_EQ(decodeKeyList(text), keys);
    EXPECT_EQ(encodeKeyList({}), "");
    EXPECT_TRUE(decodeKeyList("").empty());
    EXPECT_TRUE(decodeKeyList("[]").empty());
    EXPECT_EQ(decodeKeyList(R"( [ "a" , "b" ] )"), (std::vector<std::string>{"a", "b"}));
}

TEST(WireKeyList, StrictAboutAnythingElse)
{
    for (const char* bad : {"001,002", "\"001\"", "[1]", "[\"a\",null]", "[\"a\"", "[\"a\"]]", "{}",
                            " ", "[\"a\"] [\"b\"]", "[[\"a\"]]", "[\"\xFF\"]"})
        EXPECT_THROW(decodeKeyList(bad), WireError) << bad;
    EXPECT_THROW(encodeKeyList({"ok", "\xFF"}), WireError);
}
