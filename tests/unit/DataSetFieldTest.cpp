// Field texts: display formats, the get-text and set-text hooks, typed access and parsing.
#include "DataSetTestSupport.h"

#include "platform/dataset/DisplayFormat.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <cmath>
#include <random>

namespace cht::platform::testing {
namespace {

TEST(DisplayFormat, NumbersFollowThePictureInPtBr)
{
    const QString money = QStringLiteral("#,###,##0.00");
    EXPECT_EQ(formatFloat(money, 1234.56), "1.234,56");
    EXPECT_EQ(formatFloat(money, -1234.56), "-1.234,56");
    EXPECT_EQ(formatFloat(money, 0.0), "0,00");
    EXPECT_EQ(formatFloat(money, 1234567.891), "1.234.567,89");
    EXPECT_EQ(formatFloat(money, 999.995), "1.000,00") << "halves round away from zero";
    EXPECT_EQ(formatFloat(money, 2.675), "2,68")
        << "on 15 significant digits, not the binary value";
    EXPECT_EQ(formatFloat(money, -0.001), "0,00") << "no minus sign on a zero";
    EXPECT_EQ(formatFloat(money, 0.5), "0,50");
    EXPECT_EQ(formatFloat(QStringLiteral("0.##"), 2.5), "2,5");
    EXPECT_EQ(formatFloat(QStringLiteral("0.##"), 2.0), "2");
    EXPECT_EQ(formatFloat(QStringLiteral("00000"), 42), "00042");
    EXPECT_EQ(formatFloat(QStringLiteral("#,##0"), 1234567.5), "1.234.568");
    EXPECT_EQ(formatFloat(QStringLiteral("'R$ '#,##0.00"), 5), "R$ 5,00");
    EXPECT_EQ(formatFloat(QStringLiteral("#,##0.00;(#,##0.00);zero"), -5), "(5,00)");
    EXPECT_EQ(formatFloat(QStringLiteral("#,##0.00;(#,##0.00);zero"), 0), "zero");
    EXPECT_EQ(formatFloat(QString(), 1234.5), "1234,5");
    EXPECT_EQ(formatFloatGeneral(0.1), "0,1");
}

TEST(DisplayFormat, MoneyPictureAgreesWithThePtBrLocaleAwayFromHalves)
{
    const QLocale ptBr(QLocale::Portuguese, QLocale::Brazil);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> magnitude(-12.0, 9.0);
    int compared = 0;
    for (int i = 0; i < 5000; ++i) {
        const double v = std::copysign(std::pow(10.0, magnitude(rng)), (rng() & 1) ? 1.0 : -1.0);
        const double cents = std::fabs(v) * 100.0;
        if (std::fabs(cents - std::floor(cents) - 0.5) < 1e-3)
            continue; // halves are ours to round (on 15 digits); the locale rounds the binary value
        QString expected = ptBr.toString(v, 'f', 2);
        if (expected == QStringLiteral("-0,00"))
            expected = QStringLiteral("0,00");
        ASSERT_EQ(formatFloat(QStringLiteral("#,###,##0.00"), v).toStdString(),
                  expected.toStdString())
            << v;
        ++compared;
    }
    EXPECT_GT(compared, 4000);
}

TEST(DisplayFormat, DatesDropAMidnightTimeAndHonourPictures)
{
    const double noon = 46022.5; // 31/12/2025 12:00
    EXPECT_EQ(formatDateTime(QString(), 46022.0), "31/12/2025");
    EXPECT_EQ(formatDateTime(QString(), noon), "31/12/2025 12:00:00");
    EXPECT_EQ(formatDateTime(QStringLiteral("dd/mm/yyyy"), noon), "31/12/2025");
    EXPECT_EQ(formatDateTime(QStringLiteral("dd/MM/yyyy HH:mm"), 46022.0 + 14.0 / 24 + 5.0 / 1440),
              "31/12/2025 14:05");
    EXPECT_EQ(formatDateTime(QStringLiteral("d/m/yy hh:nn"), 45000.0), "15/3/23 00:00");
    EXPECT_EQ(formatDateTime(QStringLiteral("mmmm"), 45000.0), QString::fromUtf8("março"));
    EXPECT_EQ(formatDateTime(QString(), -1.25), "29/12/1899 06:00:00");

    EXPECT_EQ(parseDateTime(QStringLiteral("31/12/2025")), 46022.0);
    EXPECT_EQ(parseDateTime(QStringLiteral("31/12/2025 12:00")), noon);
    EXPECT_FALSE(parseDateTime(QStringLiteral("31/02/2025")));
    EXPECT_FALSE(parseDateTime(QStringLiteral("2025-12-31")));
    EXPECT_EQ(parseFloat(QStringLiteral("1.234,56")), 1234.56);
    EXPECT_EQ(parseFloat(QStringLiteral(" -3 ")), -3.0);
    EXPECT_EQ(parseFloat(QStringLiteral("1.234")), 1234.0);
    EXPECT_EQ(parseFloat(QStringLiteral("2.5")), 2.5);
    EXPECT_FALSE(parseFloat(QStringLiteral("1,2,3")));
    EXPECT_FALSE(parseFloat(QStringLiteral("abc")));
}

TEST(DataSetField, DisplayTextUsesTheFormatAndTheHooks)
{
    SmallSet s;
    s.value.displayFormat = QStringLiteral("#,###,##0.00");
    s.load();
    EXPECT_EQ(s.value.displayText(), "1.234,56");
    EXPECT_EQ(s.value.text(), "1234,56") << "the text for editing is not formatted";
    EXPECT_EQ(s.generated.displayText(), "09/12/2025 12:00:00");
    s.cds.next();
    EXPECT_EQ(s.value.displayText(), "-0,50");
    EXPECT_EQ(s.generated.displayText(), "10/12/2025");
    EXPECT_EQ(s.value.formatValue(wire::Value{2.0}), "2,00");
    s.generated.displayFormat = QStringLiteral("dd/mm/yyyy");
    s.cds.prior();
    EXPECT_EQ(s.generated.displayText(), "09/12/2025");

    std::vector<bool> asked;
    s.check.onGetText = [&](TField& f, QString& text, bool display) {
        asked.push_back(display);
        if (f.asString() == "S")
            text = QStringLiteral("Sim");
        else if (f.asString() == "N")
            text = QString::fromUtf8("Não");
    };
    s.check.onSetText = [](TField& f, const QString& text) {
        f.setAsString(text == QStringLiteral("Sim") ? QStringLiteral("S") : QStringLiteral("N"));
    };
    EXPECT_EQ(s.check.displayText(), QString::fromUtf8("Não"));
    EXPECT_EQ(s.check.text(), QString::fromUtf8("Não"));
    EXPECT_EQ(asked, (std::vector<bool>{true, false}));
    s.cds.edit();
    s.check.setText(QStringLiteral("Sim"));
    EXPECT_EQ(s.check.asString(), "S");
    s.check.setAsString("X");
    EXPECT_EQ(s.check.displayText(), "") << "a value without a mapping shows an empty text";
    s.cds.cancel();
}

TEST(DataSetField, TypedAccessConvertsAndRefusesWhatDoesNotFit)
{
    SmallSet s;
    s.load();
    s.cds.edit();
    s.value.setText(QStringLiteral("1.234,5"));
    EXPECT_DOUBLE_EQ(s.value.asFloat(), 1234.5);
    EXPECT_THROW(s.value.setText(QStringLiteral("muito")), DataSetError);
    s.value.setText(QString());
    EXPECT_TRUE(s.value.isNull());
    s.generated.setText(QStringLiteral("01/02/2026 08:30"));
    EXPECT_EQ(s.generated.asDateTime(), QDateTime(QDate(2026, 2, 1), QTime(8, 30)));
    s.generated.setAsDateTime(QDateTime(QDate(2026, 3, 4), QTime(0, 0)));
    EXPECT_EQ(s.generated.asString(), "04/03/2026");
    EXPECT_THROW(s.generated.setText(QStringLiteral("32/01/2026")), DataSetError);
    s.hours.setAsFloat(7.6);
    EXPECT_EQ(s.hours.asInteger(), 8);
    EXPECT_THROW(s.hours.setValue(std::string("7")), DataSetError);
    EXPECT_THROW(s.value.setValue(std::string("7")), DataSetError);
    s.value.setValue(std::int64_t{3});
    EXPECT_TRUE(std::holds_alternative<double>(s.value.value()));
    EXPECT_THROW(s.client.setValue(std::string("\xff\xfe")), DataSetError);
    s.client.clear();
    EXPECT_TRUE(s.client.isNull());
    s.cds.post();
    EXPECT_TRUE(s.client.isNull());
    EXPECT_EQ(s.client.label(), "NMFANTCLIE");
    s.client.displayLabel = QStringLiteral("Cliente");
    EXPECT_EQ(s.client.label(), "Cliente");
    EXPECT_EQ(s.client.defaultDisplayWidth(), 50);
}

} // namespace
} // namespace cht::platform::testing
