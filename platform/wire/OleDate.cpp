#include "OleDate.h"

#include "WireError.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace cht::wire {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

// Days from 1970-01-01 in the proleptic Gregorian calendar (H. Hinnant's algorithm).
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Ymd {
    std::int64_t y;
    unsigned m, d;
};

constexpr Ymd civilFromDays(std::int64_t z)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

constexpr std::int64_t kOleEpoch = daysFromCivil(1899, 12, 30);
// First and last day that packets may carry: 0100-01-01 and 9999-12-31.
constexpr std::int64_t kFirstDay = daysFromCivil(100, 1, 1) - kOleEpoch;
constexpr std::int64_t kLastDay = daysFromCivil(9999, 12, 31) - kOleEpoch;
static_assert(kFirstDay == -657434 && kLastDay == 2958465);

bool isLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

std::string describe(double ole)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", ole);
    return buf;
}

// The calendar day (counted from 1899-12-30) and the millisecond of that day. The integer part
// gives the day and the magnitude of the fraction the time, whatever the sign; a time that
// rounds up to midnight belongs to the next calendar day.
struct DayAndMs {
    std::int64_t day;
    std::int64_t ms;
};

DayAndMs split(double ole)
{
    const double whole = std::trunc(ole);
    const double fraction = std::fabs(ole - whole);
    auto day = static_cast<std::int64_t>(whole);
    auto ms = std::llround(fraction * static_cast<double>(kMsPerDay));
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        ++day;
    }
    return {day, ms};
}

} // namespace

bool isOleInRange(double ole)
{
    if (!std::isfinite(ole) || ole <= static_cast<double>(kFirstDay - 1) ||
        ole >= static_cast<double>(kLastDay + 1))
        return false;
    const DayAndMs dm = split(ole);
    return dm.day >= kFirstDay && dm.day <= kLastDay;
}

CivilDateTime civilFromOle(double ole)
{
    if (!isOleInRange(ole))
        throw WireError("Data e hora fora do intervalo aceito (anos 100 a 9999): " + describe(ole) +
                        ".");
    const DayAndMs dm = split(ole);
    const Ymd ymd = civilFromDays(dm.day + kOleEpoch);
    CivilDateTime dt;
    dt.year = static_cast<int>(ymd.y);
    dt.month = static_cast<int>(ymd.m);
    dt.day = static_cast<int>(ymd.d);
    auto ms = dm.ms;
    dt.hour = static_cast<int>(ms / 3'600'000);
    ms %= 3'600'000;
    dt.minute = static_cast<int>(ms / 60'000);
    ms %= 60'000;
    dt.second = static_cast<int>(ms / 1000);
    dt.msec = static_cast<int>(ms % 1000);
    return dt;
}

double oleFromCivil(const CivilDateTime& dt)
{
    const bool valid = dt.year >= 100 && dt.year <= 9999 && dt.month >= 1 && dt.month <= 12 &&
                       dt.day >= 1 && dt.day <= daysInMonth(dt.year, dt.month) && dt.hour >= 0 &&
                       dt.hour <= 23 && dt.minute >= 0 && dt.minute <= 59 && dt.second >= 0 &&
                       dt.second <= 59 && dt.msec >= 0 && dt.msec <= 999;
    if (!valid) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", dt.year, dt.month,
                      dt.day, dt.hour, dt.minute, dt.second, dt.msec);
        throw WireError(std::string("Data ou hora inválida: ") + buf + ".");
    }
    const std::int64_t day =
        daysFromCivil(dt.year, static_cast<unsigned>(dt.month), static_cast<unsigned>(dt.day)) -
        kOleEpoch;
    const std::int64_t ms =
        ((static_cast<std::int64_t>(dt.hour) * 60 + dt.minute) * 60 + dt.second) * 1000 + dt.msec;
    const double time = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
    const auto whole = static_cast<double>(day);
    return day >= 0 ? whole + time : whole - time;
}

std::int64_t oleDayNumber(double ole)
{
    if (!std::isfinite(ole) || std::fabs(ole) > 1e15)
        throw WireError("Data e hora inválida: " + describe(ole) + ".");
    return split(ole).day;
}

} // namespace cht::wire
