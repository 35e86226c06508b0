#include "platform/wire/Wire.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace cht::wire;

namespace {

const char* kFields =
    R"("fields":[{"name":"CDFUNC","type":"text","size":4},)"
    R"({"name":"DTGERACAO","type":"datetime"},{"name":"VLHORA","type":"float","size":0},)"
    R"({"name":"QTHORAS","type":"integer"}])";

std::string packet(const std::string& rows)
{
    return std::string("{") + kFields + R"(,"rows":[)" + rows + "]}";
}

// The message of the WireError the text raises, or "" when it decodes.
std::string errorOf(const std::string& json)
{
    try {
        decodeDataPacket(json);
    } catch (const WireError& e) {
        return e.what();
    }
    return "";
}

bool mentions(const std::string& message, const std::string& part)
{
    return message.find(part) != std::string::npos;
}

} // namespace

TEST(WireDataPacket, DecodesEveryTypeAndNull)
{
    const ColumnTable t = decodeDataPacket(packet(
        R"(["0001", 46000.25, 12.5, 8], [null, null, null, null], ["Ação", 3, -7, -9223372036854775808],)"
        R"(["a\"b\\c\u00e9", -1.25, 1e-300, 9223372036854775807])"));
    ASSERT_EQ(t.rowCount(), 4u);
    ASSERT_EQ(t.columnCount(), 4u);
    EXPECT_EQ(t.fields()[0], (FieldDef{"CDFUNC", FieldType::Text, 4}));
    EXPECT_EQ(t.fields()[1], (FieldDef{"DTGERACAO", FieldType::DateTime, 0}));
    EXPECT_EQ(t.text(0, 0), "0001");
    EXPECT_EQ(t.number(0, 1), 46000.25);
    EXPECT_EQ(t.number(0, 2), 12.5);
    EXPECT_EQ(t.integer(0, 3), 8);
    for (std::size_t c = 0; c < 4; ++c)
        EXPECT_TRUE(t.isNull(1, c)) << c;
    EXPECT_EQ(t.text(2, 0), "Ação");
    EXPECT_EQ(t.number(2, 1), 3.0) << "an integer is a valid date-time";
    EXPECT_EQ(t.integer(2, 3), INT64_MIN);
    EXPECT_EQ(t.text(3, 0), "a\"b\\") << "cut to four characters after unescaping";
    EXPECT_EQ(t.integer(3, 3), INT64_MAX);
    EXPECT_EQ(civilFromOle(t.number(3, 1)), (CivilDateTime{1899, 12, 29, 6, 0, 0, 0}));
}

TEST(WireDataPacket, TextsAreCutByCharacters)
{
    const ColumnTable t =
        decodeDataPacket(packet(R"(["ÇÃÕÉÍ", 1, 1, 1], ["ab", 1, 1, 1], ["", 1, 1, 1])"));
    EXPECT_EQ(t.text(0, 0), "ÇÃÕÉ");
    EXPECT_EQ(t.text(1, 0), "ab");
    EXPECT_EQ(t.text(2, 0), "");
    EXPECT_FALSE(t.isNull(2, 0));
}

TEST(WireDataPacket, EmptyAndFieldOrder)
{
    const ColumnTable t = decodeDataPacket(R"({"fields":[],"rows":[]})");
    EXPECT_EQ(t.columnCount(), 0u);
    EXPECT_EQ(t.rowCount(), 0u);
    const ColumnTable u = decodeDataPacket(
        R"( { "fields" : [ { "type" : "integer" , "name" : "N" } ] , "rows" : [ [ 1 ] ] } )");
    EXPECT_EQ(u.integer(0, 0), 1);
}

TEST(WireDataPacket, WrongValuesNameTheFieldAndTheRow)
{
    struct Case {
        const char* rows;
        const char* expect;
    };
    const Case cases[] = {
        {R"(["1",1,1,1],[5,1,1,1])", "campo \"CDFUNC\" da linha 2"},
        {R"(["1","x",1,1])", "campo \"DTGERACAO\" da linha 1"},
        {R"(["1",1,true,1])", "campo \"VLHORA\" da linha 1"},
        {R"(["1",1,1,1.5])", "campo \"QTHORAS\" da linha 1"},
        {R"(["1",1,1,"2"])", "campo \"QTHORAS\" da linha 1"},
        {R"(["1",1,1,[1]])", "campo \"QTHORAS\" da linha 1"},
        {R"(["1",1,1,{}])", "campo \"QTHORAS\" da linha 1"},
        {R"(["1",1,1,99999999999999999999])", "campo \"QTHORAS\" da linha 1"},
        {R"(["1",1,1e400,1])", "campo \"VLHORA\" da linha 1"},
        {R"(["1",3000000,1,1])", "campo \"DTGERACAO\" da linha 1"},
        {R"(["1",-657435.5,1,1])", "campo \"DTGERACAO\" da linha 1"},
        {R"(["1",1,1])", "a linha 1 tem 3 valores, mas o pacote tem 4 campos"},
        {R"(["1",1,1,1],["1",1,1,1,1])", "a linha 2 tem mais de 4 valores"},
        {R"([])", "a linha 1 tem 0 valores"},
        {R"(["1",1,1,1],"x")", "a linha 2 não é uma lista"},
        {R"(["1",1,1,nul])", ""},
    };
    for (const Case& c : cases) {
        const std::string message = errorOf(packet(c.rows));
        ASSERT_FALSE(message.empty()) << c.rows;
        EXPECT_TRUE(mentions(message, "Pacote de dados inválido: ")) << message;
        EXPECT_TRUE(mentions(message, c.expect)) << c.rows << " -> " << message;
    }
    EXPECT_TRUE(
        mentions(errorOf(packet(R"(["1",1,1,99999999999999999999])")), "fora do intervalo"));
    EXPECT_TRUE(mentions(errorOf(packet(R"(["1",1,1,2.0])")), "deve ser um número inteiro"));
    EXPECT_TRUE(mentions(errorOf(packet(R"(["1",1e999,1,1])")), "fora do intervalo"));
}

TEST(WireDataPacket, WrongShapesAreErrors)
{
    const char* cases[] = {
        "",
        "   ",
        "[]",
        "42",
        "null",
        R"({"rows":[],"fields":[]})",
        R"({"fields":[]})",
        R"({"fields":{},"rows":[]})",
        R"({"fields":[],"rows":{}})",
        R"({"fields":[],"rows":[],"rows":[]})",
        R"({"fields":[],"rows":[],"extra":1})",
        R"({"fields":[],"changes":[]})",
        R"({"fields":[{"name":"A","type":"text"},{"name":"a","type":"text"}],"rows":[]})",
        R"({"fields":[{"name":"","type":"text"}],"rows":[]})",
        R"({"fields":[{"type":"text"}],"rows":[]})",
        R"({"fields":[{"name":"A"}],"rows":[]})",
        R"({"fields":[{"name":"A","type":"texto"}],"rows":[]})",
        R"({"fields":[{"name":"A","type":"text","size":-1}],"rows":[]})",
        R"({"fields":[{"name":"A","type":"text","size":1.5}],"rows":[]})",
        R"({"fields":[{"name":"A","type":"text","size":99999999999}],"rows":[]})",
        R"({"fields":[{"name":"A","type":"text","cor":1}],"rows":[]})",
        R"({"fields":[{"name":1,"type":"text"}],"rows":[]})",
        R"({"fields":["A"],"rows":[]})",
        R"({"fields":[],"rows":[]} x)",
        R"({"fields":[],"rows":[]}{})",
        R"({"fields":[],"rows":[],})",
        R"({"fields":[],"rows":[]]})",
        R"({'fields':[],"rows":[]})",
    };
    for (const char* json : cases)
        EXPECT_FALSE(errorOf(json).empty()) << json;
}

TEST(WireDataPacket, TruncationAtEveryByteIsAnError)
{
    const std::string full =
        packet(R"(["0001",46000.25,12.5,8],[null,null,null,null],["Ação",3,-7,1])");
    ASSERT_TRUE(errorOf(full).empty());
    for (std::size_t n = 0; n < full.size(); ++n)
        EXPECT_FALSE(errorOf(full.substr(0, n)).empty()) << full.substr(0, n);
}

TEST(WireDataPacket, InvalidUtf8AndBadEscapesAreErrors)
{
    EXPECT_TRUE(mentions(errorOf(packet("[\"a\xC3\",1,1,1]")), "UTF-8"));
    EXPECT_FALSE(errorOf(packet("[\"\xED\xA0\x80\",1,1,1]")).empty());
    EXPECT_FALSE(errorOf(packet(R"(["\ud800",1,1,1])")).empty()) << "lone surrogate escape";
    EXPECT_FALSE(errorOf(packet(R"(["\x41",1,1,1])")).empty());
    EXPECT_FALSE(errorOf(packet("[\"a\nb\",1,1,1]")).empty()) << "raw control character";
    EXPECT_FALSE(errorOf(packet("[\"a\",1,1,1]\xFF")).empty());
}

TEST(WireDataPacket, RoundTripKeepsValuesExactly)
{
    ColumnTable t({{"T", FieldType::Text, 6},
                   {"D", FieldType::DateTime, 0},
                   {"F", FieldType::Float, 0},
                   {"I", FieldType::Integer, 0}});
    const double floats[] = {0.1, -0.0, 1.0 / 3.0, 1e308, -4.9e-324, 123456789.123456789};
    for (std::size_t i = 0; i < 6; ++i) {
        const std::size_t r = t.appendRow();
        t.setText(r, 0, i == 2 ? std::string("\"q\"\\\t\x01é") : "r" + std::to_string(i));
        t.setNumber(r, 1, oleFromCivil({2026, 1, static_cast<int>(i) + 1, 13, 14, 15, 161}));
        t.setNumber(r, 2, floats[i]);
        t.setInteger(r, 3, static_cast<std::int64_t>(i) * -1234567890123LL);
    }
    t.appendRow(); // a row of nulls
    const std::string json = encodeDataPacket(t);
    const ColumnTable back = decodeDataPacket(json);
    ASSERT_EQ(back.fields(), t.fields());
    ASSERT_EQ(back.rowCount(), t.rowCount());
    for (std::size_t r = 0; r < t.rowCount(); ++r)
        for (std::size_t c = 0; c < t.columnCount(); ++c)
            EXPECT_EQ(back.value(r, c), t.value(r, c)) << r << "," << c;
    EXPECT_TRUE(std::signbit(back.number(1, 2)));

    const std::string some = encodeDataPacket(t, {4, 0});
    const ColumnTable two = decodeDataPacket(some);
    ASSERT_EQ(two.rowCount(), 2u);
    EXPECT_EQ(two.text(0, 0), "r4");
    EXPECT_EQ(two.text(1, 0), "r0");
    EXPECT_THROW(encodeDataPacket(t, {7}), WireError);
}

TEST(WireDataPacket, EncoderRefusesWhatTheDecoderWouldRefuse)
{
    ColumnTable t({{"D", FieldType::DateTime, 0}});
    t.appendRow();
    t.setNumber(0, 0, 1e7);
    EXPECT_THROW(encodeDataPacket(t), WireError);
}

TEST(WireDataPacket, LargePacketRoundTrips)
{
    ColumnTable t(
        {{"K", FieldType::Text, 10}, {"V", FieldType::Float, 0}, {"N", FieldType::Integer, 0}});
    t.reserveRows(20000);
    for (std::size_t i = 0; i < 20000; ++i) {
        t.appendRow();
        if (i % 7)
            t.setText(i, 0, "k" + std::to_string(i));
        t.setNumber(i, 1, static_cast<double>(i) / 8);
        if (i % 3)
            t.setInteger(i, 2, static_cast<std::int64_t>(i));
    }
    const ColumnTable back = decodeDataPacket(encodeDataPacket(t));
    ASSERT_EQ(back.rowCount(), 20000u);
    for (std::size_t i = 0; i < 20000; i += 997) {
        EXPECT_EQ(back.value(i, 0), t.value(i, 0));
        EXPECT_EQ(back.number(i, 1), t.number(i, 1));
        EXPECT_EQ(back.value(i, 2), t.value(i, 2));
    }
    EXPECT_EQ(back.text(19998, 0), "k19998");
    EXPECT_TRUE(back.isNull(19999, 0));
}

TEST(WireDataPacket, PacketWriterStreamsAValidPacket)
{
    std::string out = "prefix:";
    {
        PacketWriter w(out);
        w.begin({{"A", FieldType::Text, 3},
                 {"B", FieldType::DateTime, 0},
                 {"C", FieldType::Integer, 0}});
        w.beginRow();
        w.text("abcdef");
        w.number(2.5);
        w.integer(-3);
        w.endRow();
        w.beginRow();
        w.null();
        w.value(Value{std::int64_t{4}});
        w.value(Value{8.0});
        w.endRow();
        w.end();
    }
    ASSERT_EQ(out.rfind("prefix:", 0), 0u);
    const ColumnTable t = decodeDataPacket(std::string_view(out).substr(7));
    ASSERT_EQ(t.rowCount(), 2u);
    EXPECT_EQ(t.text(0, 0), "abc");
    EXPECT_EQ(t.number(0, 1), 2.5);
    EXPECT_EQ(t.integer(0, 2), -3);
    EXPECT_TRUE(t.isNull(1, 0));
    EXPECT_EQ(t.number(1, 1), 4.0);
    EXPECT_EQ(t.integer(1, 2), 8);
}

TEST(WireDataPacket, PacketWriterRefusesMisuse)
{
    const std::vector<FieldDef> fields{{"A", FieldType::Text, 3}, {"B", FieldType::Integer, 0}};
    std::string out;
    auto rowWith = [&](auto&& fill) {
        out.clear();
        PacketWriter w(out);
        w.begin(fields);
        w.beginRow();
        fill(w);
    };
    EXPECT_THROW(rowWith([](PacketWriter& w) { w.integer(1); }), WireError);
    EXPECT_THROW(rowWith([](PacketWriter& w) { w.text("\xFF"); }), WireError);
    EXPECT_THROW(rowWith([](PacketWriter& w) {
                     w.text("a");
                     w.number(1.5);
                 }),
                 WireError);
    EXPECT_THROW(rowWith([](PacketWriter& w) {
                     w.text("a");
                     w.text("b");
                 }),
                 WireError);
    EXPECT_THROW(rowWith([](PacketWriter& w) {
                     w.text("a");
                     w.endRow();
                 }),
                 WireError);
    EXPECT_THROW(rowWith([](PacketWriter& w) {
                     w.null();
                     w.null();
                     w.null();
                 }),
                 WireError);
    EXPECT_THROW(rowWith([](PacketWriter& w) { w.end(); }), WireError);
    PacketWriter w(out);
    EXPECT_THROW(w.beginRow(), WireError);
    EXPECT_THROW(w.null(), WireError);
    PacketWriter dup(out);
    EXPECT_THROW(dup.begin({{"A", FieldType::Text, 1}, {"a", FieldType::Float, 0}}), WireError);
}

// A text is escaped exactly where JSON requires it, wherever its characters fall: alone or two
// together, early or late in a long run of plain bytes.
TEST(WireDataPacket, TextsAreEscapedExactlyWhereJsonRequires)
{
    // JSON's rules: a quote, a backslash and the control characters are escaped, nothing else.
    auto quoted = [](std::string_view text) {
        std::string json = "\"";
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            const char* const named[] = {"\\b", "\\t", "\\n", nullptr, "\\f", "\\r"};
            if (c == '"' || c == '\\')
                json += std::string("\\") + c;
            else if (byte >= 8 && byte <= 13 && named[byte - 8])
                json += named[byte - 8];
            else if (byte < 0x20)
                json += std::string("\\u00") + "0123456789abcdef"[byte >> 4] +
                        "0123456789abcdef"[byte & 15];
            else
                json += c;
        }
        return json + "\"";
    };
    auto encoded = [](const std::string& text) {
        ColumnTable t({{"T", FieldType::Text, 0}});
        t.appendRow();
        t.setText(0, 0, text);
        return encodeDataPacket(t);
    };
    const std::string empty = encoded("");
    const std::size_t at = empty.find("\"\"]");
    ASSERT_NE(at, std::string::npos);
    const std::string before = empty.substr(0, at), after = empty.substr(at + 2);
    const std::string special[] = {"\x01", "\x1f", "\n", "\t", "\"", "\\", " ", "\x7f", "é", "]"};
    std::string wrong;
    auto check = [&](const std::string& text) {
        if (wrong.empty() && encoded(text) != before + quoted(text) + after)
            wrong = text;
    };
    for (std::size_t length = 0; length <= 26; ++length) {
        for (std::size_t i = 0; i < length; ++i) {
            for (const std::string& a : special) {
                std::string text(length, 'a');
                text.replace(i, 1, a);
                check(text);
                for (std::size_t j = i + 1; j < length; j += 3) {
                    std::string two = text;
                    two.replace(j + a.size() - 1, 1, "\"");
                    check(two);
                }
            }
        }
    }
    EXPECT_EQ(wrong, "");
}

TEST(WireDataPacket, BlocksOfRowsSpliceIntoThePacketInOrder)
{
    const std::vector<FieldDef> fields{{"A", FieldType::Text, 3}, {"B", FieldType::Integer, 0}};
    auto row = [](PacketWriter& w, const char* a, std::int64_t b) {
        w.beginRow();
        w.text(a);
        w.integer(b);
        w.endRow();
    };
    std::string direct;
    {
        PacketWriter w(direct);
        w.begin(fields);
        row(w, "um", 1);
        row(w, "dois", 2);
        row(w, "três", 3);
        row(w, "quatro", 4);
        w.end();
    }
    auto block = [&](std::vector<std::pair<const char*, std::int64_t>> rows) {
        std::string out;
        PacketWriter w(out);
        w.beginRows(fields);
        for (const auto& [a, b] : rows)
            row(w, a, b);
        w.end();
        return out;
    };
    std::string spliced;
    {
        PacketWriter w(spliced);
        w.begin(fields);
        w.appendRows(block({}), 0);
        row(w, "um", 1);
        w.appendRows(block({{"dois", 2}, {"três", 3}}), 2);
        w.appendRows(block({}), 0);
        w.appendRows(block({{"quatro", 4}}), 1);
        w.end();
    }
    EXPECT_EQ(spliced, direct);
    const ColumnTable t = decodeDataPacket(spliced);
    ASSERT_EQ(t.rowCount(), 4u);
    EXPECT_EQ(t.text(2, 0), "trê");
    EXPECT_EQ(t.integer(3, 1), 4);

    // Blocks taken into a writer that keeps them apart: the packet is its text and the texts
    // it kept, the blocks' where they were written.
    std::string first;
    std::vector<std::string> apart;
    const std::string second = block({{"dois", 2}, {"três", 3}});
    std::string taken = second;
    const char* const secondAt = taken.data();
    {
        PacketWriter w(first, &apart);
        ASSERT_TRUE(w.keepsBlocksApart());
        w.begin(fields);
        w.takeRows(block({}), 0);
        w.takeRows(block({{"um", 1}}), 1);
        w.takeRows(std::move(taken), 2);
        row(w, "quatro", 4);
        w.takeRows(block({}), 0);
        w.end();
        std::size_t joinedSize = first.size();
        for (const std::string& text : apart)
            joinedSize += text.size();
        EXPECT_EQ(w.size(), joinedSize);
    }
    std::string joined = first;
    for (const std::string& text : apart)
        joined += text;
    EXPECT_EQ(joined, direct);
    ASSERT_EQ(apart.size(), 3u); // "um", then "dois" and "três", then "quatro" and the end
    EXPECT_EQ(apart[1].data(), secondAt);
    // Without `apart`, a taken block is copied in as appendRows does.
    std::string copied;
    {
        PacketWriter w(copied);
        w.begin(fields);
        w.takeRows(block({{"um", 1}, {"dois", 2}}), 2);
        w.takeRows(block({{"três", 3}, {"quatro", 4}}), 2);
        w.end();
    }
    EXPECT_EQ(copied, direct);

    std::string out;
    PacketWriter w(out);
    EXPECT_THROW(w.appendRows("[]", 0), WireError); // before begin
    w.begin(fields);
    EXPECT_THROW(w.appendRows("", 0), WireError);
    EXPECT_THROW(w.appendRows(R"(["a",1])", 1), WireError);
    EXPECT_THROW(w.appendRows(R"([["a",1]])", 0), WireError);
    EXPECT_THROW(w.appendRows("[]", 2), WireError);
    EXPECT_THROW(w.takeRows(R"(["a",1])", 1), WireError);
    PacketWriter bad(out);
    EXPECT_THROW(bad.beginRows({{"A", FieldType::Text, 1}, {"a", FieldType::Float, 0}}), WireError);
}
