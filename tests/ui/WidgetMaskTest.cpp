// Edit-mask formatting: the save-literals and blank sections, literals, escapes, directives and
// the padding rules of both formatting paths.
#include "platform/widgets/FormatMaskText.h"

#include <gtest/gtest.h>

using cht::platform::FormatMaskText;
using cht::platform::MaskGetMaskBlank;
using cht::platform::MaskGetMaskSave;

namespace {

std::string fmt(const char* mask, const char* value)
{
    return FormatMaskText(QString::fromUtf8(mask), QString::fromUtf8(value)).toStdString();
}

TEST(FormatMaskText, RawDigitsWithoutLiteralsInsertTheLiterals)
{
    EXPECT_EQ(fmt("99.999.999/9999-99;0;_", "12345678000195"), "12.345.678/0001-95");
    EXPECT_EQ(fmt("999.999.999-99;0;_", "12345678901"), "123.456.789-01");
    EXPECT_EQ(fmt("999.999.999-99;0", "12345678901"), "123.456.789-01");
    EXPECT_EQ(fmt("(99) 9999-9999;0;_", "1133334444"), "(11) 3333-4444");
}

TEST(FormatMaskText, ShortValuesArePaddedWithSpacesNotTheBlankCharacter)
{
    // The blank-character section is for editors: formatting pads with spaces.
    EXPECT_EQ(fmt("999.999.999-99;0;_", "123"), "123.   .   -  ");
    EXPECT_EQ(fmt("999.999.999-99;0;*", "1234"), "123.4  .   -  ");
    EXPECT_EQ(fmt("999.999.999-99;0;_", ""), "   .   .   -  ");
}

TEST(FormatMaskText, LongValuesKeepTheExtraCharactersWhenLiteralsAreInserted)
{
    EXPECT_EQ(fmt("99-99;0;_", "123456"), "12-3456");
}

TEST(FormatMaskText, SaveLiteralsMaskExpectsTheLiteralsInTheValue)
{
    // With literals saved (no ";0"), each sub-field is cut or padded to its length.
    EXPECT_EQ(fmt("999.999.999-99", "123.456.789-01"), "123.456.789-01");
    EXPECT_EQ(fmt("999.999.999-99;1;_", "123.456.789-01"), "123.456.789-01");
    EXPECT_EQ(fmt("99.999.999/9999-99", "12.345.678/0001-95"), "12.345.678/0001-95");
    EXPECT_EQ(fmt("999.999.999-99", "1.22.333-4"), "1  .22 .333-4 ");
    EXPECT_EQ(fmt("99/99/9999", "1234/5/67"), "12/5 /67  ");
}

TEST(FormatMaskText, SaveLiteralsMaskWithRawDigitsLosesThemAsTheOriginalDoes)
{
    // A raw number under a literal-saving mask: the first sub-field takes what fits and the rest
    // of the value is dropped, exactly as the toolkit's routine behaves.
    EXPECT_EQ(fmt("999.999.999-99", "12345678901"), "123.   .   -  ");
    EXPECT_EQ(fmt("99.999.999/9999-99", "12345678000195"), "12.   .   /    -  ");
}

TEST(FormatMaskText, ReverseDirectivePlacesTheValueFromTheEnd)
{
    EXPECT_EQ(fmt("!99/99;0;_", "123"), " 1/23");
    EXPECT_EQ(fmt("!999-99;0;_", "12"), "   -12");
    EXPECT_EQ(fmt("!99-99", "1-2"), " 1- 2");
}

TEST(FormatMaskText, EscapesDirectivesAndMaskLetters)
{
    // "\A" is a literal A; '>' and '<' take no place and do not change the case here.
    EXPECT_EQ(fmt("\\A-999;0;_", "123"), "A-123");
    EXPECT_EQ(fmt(">LLL<ll;0;_", "abCDe"), "abCDe");
    EXPECT_EQ(fmt("AAA-aa;0;_", "x1y"), "x1y-  ");
    EXPECT_EQ(fmt("CC:cc;0;_", "ab"), "ab:  ");
    EXPECT_EQ(fmt("\\\\99;0;_", "12"), "\\12");
}

TEST(FormatMaskText, SectionsAreReadOnlyInTheLastCharacters)
{
    EXPECT_FALSE(MaskGetMaskSave(QStringLiteral("99.999.999/9999-99;0;_")));
    EXPECT_FALSE(MaskGetMaskSave(QStringLiteral("999;0")));
    EXPECT_TRUE(MaskGetMaskSave(QStringLiteral("999;1;_")));
    EXPECT_TRUE(MaskGetMaskSave(QStringLiteral("999.999.999-99")));
    EXPECT_TRUE(MaskGetMaskSave(QStringLiteral("9;0")));         // too short for sections
    EXPECT_TRUE(MaskGetMaskSave(QStringLiteral("9;0;_999999"))); // ';' too far from the end
    EXPECT_EQ(MaskGetMaskBlank(QStringLiteral("99/99;1;*")), QChar(u'*'));
    EXPECT_EQ(MaskGetMaskBlank(QStringLiteral("99/99;0")), QChar(u'_'));
    EXPECT_EQ(MaskGetMaskBlank(QStringLiteral("99/99")), QChar(u'_'));
    // An escaped ';' is a literal, not a section separator.
    EXPECT_EQ(fmt("99\\;99;0;_", "1234"), "12;34");
}

TEST(FormatMaskText, FitsOnlyAValueThatFillsTheMaskWithTheRightKinds)
{
    const auto fits = [](const char* mask, const char* value) {
        return cht::platform::MaskValueFits(QString::fromUtf8(mask), QString::fromUtf8(value));
    };
    EXPECT_TRUE(fits("99.999.999/9999-99;0;_", "12345678000195"));
    EXPECT_FALSE(fits("99.999.999/9999-99;0;_", "1234567800019"));      // one short
    EXPECT_FALSE(fits("99.999.999/9999-99;0;_", "123456780001955"));    // one over
    EXPECT_FALSE(fits("99.999.999/9999-99;0;_", "12.345.678/0001-95")); // stored formatted
    EXPECT_FALSE(fits("999.999.999-99;0;_", "1234567890X"));
    EXPECT_TRUE(fits("999.999.999-99;0;_", "1234567890 ")); // optional positions take a blank
    EXPECT_FALSE(fits("000;0;_", "12 "));                   // required ones do not
    EXPECT_TRUE(fits("999.999.999-99", "123.456.789-01"));  // literals saved: in their places
    EXPECT_FALSE(fits("999.999.999-99", "12345678901"));
    EXPECT_TRUE(fits("LL-aa;0;_", "AB1c"));
    EXPECT_FALSE(fits("LL-aa;0;_", "A11c"));
    EXPECT_TRUE(fits("###;0;_", "+1-"));
    EXPECT_FALSE(fits("###;0;_", "+1x"));
    EXPECT_TRUE(fits("\\\\99;0;_", "12")); // an escaped backslash is a literal, not saved
    EXPECT_FALSE(fits("", ""));
    EXPECT_FALSE(fits("", "123"));
}

TEST(FormatMaskText, EmptyMaskGivesAnEmptyText)
{
    EXPECT_EQ(fmt("", "abc"), "");
}

} // namespace
