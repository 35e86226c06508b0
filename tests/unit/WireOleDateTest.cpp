#include "platform/wire/Wire.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace cht::wire;

namespace {
CivilDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return CivilDateTime{y, mo, d, h, mi, s, ms};
}
} // namespace

TEST(WireOleDate, KnownValues)
{
    EXPECT_EQ(oleFromCivil(at(1899, 12, 30)), 0.0);
    EXPECT_EQ(civilFromOle(0.0), at(1899, 12, 30));
    EXPECT_EQ(oleFromCivil(at(1900, 1, 1)), 2.0);
    EXPECT_EQ(oleFromCivil(at(1900, 3, 1)), 61.0); // 1900 is not a leap year here
    EXPECT_EQ(oleFromCivil(at(2000, 1, 1)), 36526.0);
    EXPECT_EQ(oleFromCivil(at(2026, 12, 31, 14, 5)), 46387.0 + (14 * 60 + 5) / 1440.0);
    EXPECT_EQ(civilFromOle(2.5), at(1900, 1, 1, 12));
    EXPECT_EQ(civilFromOle(36526.75), at(2000, 1, 1, 18));
    EXPECT_EQ(civilFromOle(1.0 / 86400.0), at(1899, 12, 30, 0, 0, 1));
}

TEST(WireOleDate, BeforeTheEpochTheFractionCountsForwards)
{
    EXPECT_EQ(civilFromOle(-1.25), at(1899, 12, 29, 6));
    EXPECT_EQ(oleFromCivil(at(1899, 12, 29, 6)), -1.25);
    EXPECT_EQ(civilFromOle(-1.75), at(1899, 12, 29, 18));
    EXPECT_EQ(oleDayNumber(-1.75), -1);
    EXPECT_EQ(oleDayNumber(-1.25), -1);
    EXPECT_EQ(civilFromOle(-2.0), at(1899, 12, 28));
    // -0.5 and 0.5 are the same moment: day 0, noon.
    EXPECT_EQ(civilFromOle(-0.5), at(1899, 12, 30, 12));
    EXPECT_EQ(civilFromOle(-36522.0), at(1800, 1, 1));
    EXPECT_EQ(oleFromCivil(at(1800, 1, 1, 12)), -36522.5);
    EXPECT_EQ(civilFromOle(-657434.0), at(100, 1, 1));
    EXPECT_EQ(oleFromCivil(at(100, 1, 1)), -657434.0);
}

TEST(WireOleDate, RoundTripsToTheMillisecond)
{
    const CivilDateTime cases[] = {
        at(2024, 2, 29, 23, 59, 59, 999),  at(2000, 2, 29, 0, 0, 0, 1),
        at(1600, 2, 29, 12, 30),           at(1899, 12, 29, 0, 0, 0, 1),
        at(1899, 12, 31, 23, 59, 59, 999), at(1753, 1, 1, 8, 15, 30, 250),
        at(9999, 12, 31, 23, 59, 59, 999), at(100, 1, 1, 0, 0, 0, 1),
        at(2026, 7, 4, 13, 14, 15, 161)};
    for (const CivilDateTime& c : cases) {
        const double ole = oleFromCivil(c);
        EXPECT_EQ(civilFromOle(ole), c) << ole;
    }
    // Every millisecond of a sample of days round-trips.
    for (int day : {-700, -1, 0, 1, 45000}) {
        for (int ms = 0; ms < 86'400'000; ms += 86'399) {
            CivilDateTime c = civilFromOle(day);
            c.hour = ms / 3'600'000;
            c.minute = ms / 60'000 % 60;
            c.second = ms / 1000 % 60;
            c.msec = ms % 1000;
            ASSERT_EQ(civilFromOle(oleFromCivil(c)), c) << day << " " << ms;
        }
    }
}

TEST(WireOleDate, RoundsToTheNearestMillisecondAcrossMidnight)
{
    EXPECT_EQ(civilFromOle(1.0 + 0.4 / 86'400'000.0), at(1899, 12, 31));
    EXPECT_EQ(civilFromOle(1.0 + 0.6 / 86'400'000.0), at(1899, 12, 31, 0, 0, 0, 1));
    // Just short of midnight rounds into the next day, forwards in time whatever the sign.
    EXPECT_EQ(civilFromOle(1.9999999999), at(1900, 1, 1));
    EXPECT_EQ(oleDayNumber(1.9999999999), 2);
    EXPECT_EQ(civilFromOle(-1.9999999999), at(1899, 12, 30));
    EXPECT_EQ(oleDayNumber(-1.9999999999), 0);
}

TEST(WireOleDate, LeapYears)
{
    EXPECT_EQ(oleFromCivil(at(2024, 3, 1)) - oleFromCivil(at(2024, 2, 28)), 2.0);
    EXPECT_EQ(oleFromCivil(at(2100, 3, 1)) - oleFromCivil(at(2100, 2, 28)), 1.0);
    EXPECT_EQ(oleFromCivil(at(2000, 3, 1)) - oleFromCivil(at(2000, 2, 28)), 2.0);
    EXPECT_THROW(oleFromCivil(at(2023, 2, 29)), WireError);
    EXPECT_THROW(oleFromCivil(at(1900, 2, 29)), WireError);
    EXPECT_NO_THROW(oleFromCivil(at(1600, 2, 29)));
}

TEST(WireOleDate, RejectsInvalidInput)
{
    EXPECT_THROW(oleFromCivil(at(2026, 13, 1)), WireError);
    EXPECT_THROW(oleFromCivil(at(2026, 4, 31)), WireError);
    EXPECT_THROW(oleFromCivil(at(2026, 1, 1, 24)), WireError);
    EXPECT_THROW(oleFromCivil(at(2026, 1, 1, 0, 60)), WireError);
    EXPECT_THROW(oleFromCivil(at(2026, 1, 1, 0, 0, 0, 1000)), WireError);
    EXPECT_THROW(oleFromCivil(at(99, 12, 31)), WireError);
    EXPECT_THROW(oleFromCivil(at(10000, 1, 1)), WireError);
    EXPECT_THROW(civilFromOle(std::nan("")), WireError);
    EXPECT_THROW(civilFromOle(std::numeric_limits<double>::infinity()), WireError);
    EXPECT_THROW(civilFromOle(-657435.0), WireError);
    EXPECT_THROW(civilFromOle(2958466.0), WireError);
    EXPECT_THROW(civilFromOle(1e300), WireError);
    EXPECT_THROW(oleDayNumber(std::nan("")), WireError);
    EXPECT_EQ(civilFromOle(2958465.5).year, 9999);
    EXPECT_FALSE(isOleInRange(2958465.9999999999)); // rounds into the year 10000
}
