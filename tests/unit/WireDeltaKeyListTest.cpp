#include "platform/wire/Wire.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace cht::wire;

namespace {

const std::vector<FieldDef> kSampleFields = {{"NRSEQUCHT", FieldType::Text, 5},
                                             {"IDCHTASSINADA", FieldType::Text, 1},
                                             {"DTGERACAO", FieldType::DateTime, 0},
                                             {"QTHORAS", FieldType::Integer, 0}};

DeltaPacket sampleDelta()
{
    DeltaPacket d(kSampleFields);
    d.add(ChangeOp::Update, {std::string("00001"), std::string("N"), 46000.5, std::int64_t{8}},
          {std::string("00001"), std::string("S"), 46000.5, std::int64_t{8}});
    d.add(ChangeOp::Insert, {}, {std::string("00002"), std::monostate{}, -1.25, std::monostate{}});
    d.add(ChangeOp::Delete, {std::string("00\"3"), std::string("é"), 1.0, std::int64_t{-1}}, {});
    return d;
}

std::vector<Value> rowOf(const ColumnTable& t, std::size_t row)
{
    std::vector<Value> out;
    for (std::size_t c = 0; c < t.columnCount(); ++c)
        out.push_back(t.value(row, c));
    return out;
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
    ASSERT_EQ(back.fields(), d.fields());
    ASSERT_EQ(back.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back.op(i), d.op(i));
        EXPECT_EQ(rowOf(back.before(), i), rowOf(d.before(), i)) << i;
        EXPECT_EQ(rowOf(back.after(), i), rowOf(d.after(), i)) << i;
    }
    // The side an op does not have is all nulls.
    EXPECT_EQ(rowOf(back.before(), 1), std::vector<Value>(4));
    EXPECT_EQ(rowOf(back.after(), 2), std::vector<Value>(4));
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
    ASSERT_EQ(ok.size(), 1u);
    EXPECT_EQ(ok.after().text(0, 0), "ab");
    EXPECT_TRUE(ok.before().isNull(0, 1));

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

TEST(WireDelta, ChangesAreCheckedAsTheyAreAdded)
{
    // A change refused leaves the delta as it was: no half row on either side.
    auto refused = [](ChangeOp op, std::vector<Value> before, std::vector<Value> after) {
        DeltaPacket d = sampleDelta();
        EXPECT_THROW(d.add(op, before, after), WireError);
        EXPECT_EQ(d.size(), 3u);
        EXPECT_EQ(d.before().rowCount(), 3u);
        EXPECT_EQ(d.after().rowCount(), 3u);
        EXPECT_EQ(encodeDeltaPacket(d), encodeDeltaPacket(sampleDelta()));
    };
    const std::vector<Value> good{std::string("1"), std::string("S"), 1.0, std::int64_t{2}};
    std::vector<Value> shortRow = good;
    shortRow.pop_back();
    refused(ChangeOp::Update, good, shortRow);
    refused(ChangeOp::Insert, good, good); // an insert has no old values
    refused(ChangeOp::Delete, good, good); // a delete has no new ones
    std::vector<Value> textInInteger = good;
    textInInteger[3] = std::string("8");
    refused(ChangeOp::Update, good, textInInteger);
    std::vector<Value> notANumber = good;
    notANumber[2] = std::nan("");
    refused(ChangeOp::Update, good, notANumber);
    // Invalid UTF-8 in a short text and at the end of a long one.
    for (const std::string& text : {std::string("\xC0\x80"), std::string(100, 'a') + "\xC3"}) {
        std::vector<Value> bad = good;
        bad[0] = text;
        refused(ChangeOp::Update, bad, good);
    }
    // A date the packet cannot carry is refused when written.
    DeltaPacket d = sampleDelta();
    d.after().setNumber(0, 2, 1e9);
    EXPECT_THROW(encodeDeltaPacket(d), WireError);
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
