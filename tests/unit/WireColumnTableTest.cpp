#include "platform/wire/Wire.h"

#include <gtest/gtest.h>

using namespace cht::wire;

namespace {

ColumnTable sample()
{
    return ColumnTable({{"NRPROPOSFAS", FieldType::Text, 10},
                        {"DTGERACAO", FieldType::DateTime, 0},
                        {"VLHORA", FieldType::Float, 0},
                        {"QTHORAS", FieldType::Integer, 0},
                        {"NMCURTO", FieldType::Text, 3}});
}

} // namespace

TEST(WireColumnTable, NewRowsAreNullAndTypedSettersStore)
{
    ColumnTable t = sample();
    EXPECT_EQ(t.appendRow(), 0u);
    EXPECT_EQ(t.appendRow(), 1u);
    ASSERT_EQ(t.rowCount(), 2u);
    for (std::size_t c = 0; c < t.columnCount(); ++c) {
        EXPECT_TRUE(t.isNull(1, c));
        EXPECT_TRUE(isNull(t.value(1, c)));
    }
    t.setText(0, 0, "0000012345");
    t.setNumber(0, 1, 46000.5);
    t.setNumber(0, 2, -1.5);
    t.setInteger(0, 3, -9000000000LL);
    EXPECT_EQ(t.text(0, 0), "0000012345");
    EXPECT_EQ(t.number(0, 1), 46000.5);
    EXPECT_EQ(std::get<double>(t.value(0, 2)), -1.5);
    EXPECT_EQ(std::get<std::int64_t>(t.value(0, 3)), -9000000000LL);
    EXPECT_EQ(t.number(0, 3), -9e9);
    EXPECT_FALSE(t.isNull(0, 0));

    t.setText(0, 4, "");
    EXPECT_FALSE(t.isNull(0, 4)) << "an empty text is not null";
    EXPECT_EQ(std::get<std::string>(t.value(0, 4)), "");
    t.setNull(0, 0);
    t.setNull(0, 3);
    EXPECT_TRUE(t.isNull(0, 0));
    EXPECT_EQ(t.text(0, 0), "");
    EXPECT_TRUE(t.isNull(0, 3));
}

TEST(WireColumnTable, TextsAreCutByCharactersNotBytes)
{
    ColumnTable t = sample();
    t.appendRow();
    t.setText(0, 4, "ÁÉÍÓÚ");
    EXPECT_EQ(t.text(0, 4), "ÁÉÍ");
    t.setText(0, 4, "açãoX");
    EXPECT_EQ(t.text(0, 4), "açã");
    t.setText(0, 4, "ab");
    EXPECT_EQ(t.text(0, 4), "ab");
    // A field of size 0 has no limit.
    ColumnTable memo({{"DSJUSTIF", FieldType::Text, 0}});
    memo.appendRow();
    const std::string longText(5000, 'x');
    memo.setText(0, 0, longText);
    EXPECT_EQ(memo.text(0, 0).size(), 5000u);

    EXPECT_EQ(cutToChars("São Paulo", 3), "São");
    EXPECT_EQ(cutToChars("€€€", 2), "€€");
    EXPECT_EQ(cutToChars("abc", 0), "");
    EXPECT_EQ(charCount("ção€"), 4u);
    EXPECT_TRUE(isValidUtf8("ção"));
    EXPECT_FALSE(isValidUtf8("\xC3"));
    EXPECT_FALSE(isValidUtf8("a\xFF"
                             "b"));
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80")); // a lone surrogate
    EXPECT_FALSE(isValidUtf8(std::string(63, 'a') + "\xC3"));
    EXPECT_FALSE(isValidUtf8(std::string(100, 'a') + "\xC3"));
    EXPECT_TRUE(isValidUtf8(std::string(100, 'a') + "ção"));
}

TEST(WireColumnTable, WrongKindsAndBadTextsThrowNamingTheField)
{
    ColumnTable t = sample();
    t.appendRow();
    try {
        t.setValue(0, 1, Value{std::string("x")});
        FAIL() << "a text went into a date-time field";
    } catch (const WireError& e) {
        EXPECT_NE(std::string(e.what()).find("DTGERACAO"), std::string::npos) << e.what();
    }
    EXPECT_THROW(t.setValue(0, 0, Value{1.0}), WireError);
    EXPECT_THROW(t.setText(0, 0, "\xC3\x28"), WireError);
    EXPECT_THROW(t.setNumber(0, 2, std::numeric_limits<double>::infinity()), WireError);
    EXPECT_THROW(t.setNumber(0, 3, 1.5), WireError);
    EXPECT_THROW(t.setNumber(0, 3, 1e19), WireError);
    EXPECT_THROW(t.text(0, 1), WireError);
    EXPECT_THROW(t.integer(0, 2), WireError);
    EXPECT_THROW(t.isNull(1, 0), std::out_of_range);
    EXPECT_THROW(t.value(0, 5), std::out_of_range);
    // Integers fit float fields, whole numbers fit integer fields.
    t.setValue(0, 2, Value{std::int64_t{7}});
    EXPECT_EQ(t.number(0, 2), 7.0);
    t.setValue(0, 3, Value{42.0});
    EXPECT_EQ(t.integer(0, 3), 42);
    EXPECT_THROW(ColumnTable({{"A", FieldType::Text, 1}, {"a", FieldType::Text, 1}}), WireError);
    EXPECT_THROW(ColumnTable({{"", FieldType::Text, 1}}), WireError);
}

TEST(WireColumnTable, IndexOfIgnoresCase)
{
    ColumnTable t = sample();
    EXPECT_EQ(t.indexOf("vlhora"), 2);
    EXPECT_EQ(t.indexOf("NmCurto"), 4);
    EXPECT_EQ(t.indexOf("NMCURT"), -1);
}

TEST(WireColumnTable, EditsReuseTheArenaAndShrinkDropsGarbage)
{
    ColumnTable t({{"T", FieldType::Text, 0}, {"N", FieldType::Float, 0}});
    for (int i = 0; i < 100; ++i) {
        const std::size_t r = t.appendRow();
        t.setText(r, 0, "valor " + std::to_string(i));
        t.setNumber(r, 1, i);
    }
    // Growing texts go to the end of the arena; the old bytes stay until shrinkToFit.
    for (std::size_t r = 0; r < 100; ++r)
        t.setText(r, 0, "um texto bem mais comprido " + std::to_string(r));
    t.setText(3, 0, std::string(t.text(4, 0))); // copy from within the same column
    t.setText(5, 0, t.text(6, 0));              // straight from the arena
    const std::size_t before = t.memoryBytes();
    t.shrinkToFit();
    EXPECT_LT(t.memoryBytes(), before);
    EXPECT_EQ(t.text(3, 0), "um texto bem mais comprido 4");
    EXPECT_EQ(t.text(5, 0), "um texto bem mais comprido 6");
    EXPECT_EQ(t.text(99, 0), "um texto bem mais comprido 99");
    EXPECT_EQ(t.number(99, 1), 99.0);
    EXPECT_GT(t.memoryBytes(), 100u * (sizeof(double) + 2 * sizeof(std::uint32_t)));
}

TEST(WireColumnTable, AdoptColumnMovesOneColumn)
{
    ColumnTable src({{"A", FieldType::Text, 5}, {"B", FieldType::Integer, 0}});
    for (int i = 0; i < 3; ++i) {
        src.appendRow();
        src.setText(static_cast<std::size_t>(i), 0, "x" + std::to_string(i));
        src.setInteger(static_cast<std::size_t>(i), 1, i * 10);
    }
    ColumnTable dst;
    dst.adoptColumn(src, 1);
    ASSERT_EQ(dst.rowCount(), 3u);
    ASSERT_EQ(dst.columnCount(), 1u);
    EXPECT_EQ(dst.fields()[0].name, "B");
    EXPECT_EQ(dst.integer(2, 0), 20);
    ASSERT_EQ(src.columnCount(), 1u);
    EXPECT_EQ(src.text(2, 0), "x2");
    dst.adoptColumn(src, 0);
    EXPECT_EQ(dst.indexOf("A"), 1);
    EXPECT_EQ(dst.text(1, 1), "x1");

    ColumnTable other({{"C", FieldType::Float, 0}});
    other.appendRow();
    EXPECT_THROW(dst.adoptColumn(other, 0), WireError) << "row counts differ";
    ColumnTable dup({{"a", FieldType::Float, 0}});
    for (int i = 0; i < 3; ++i)
        dup.appendRow();
    EXPECT_THROW(dst.adoptColumn(dup, 0), WireError) << "name already present";
    EXPECT_THROW(dst.adoptColumn(dup, 4), WireError);
}
