#include "OleDate.h"

#include "WireError.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

namespace cht::wire {

namespace {

using std::chrono::days;
using std::chrono::milliseconds;
using std::chrono::sys_days;
using std::chrono::year_month_day;

constexpr std::int64_t kMsPerDay = milliseconds{days{1}}.count();
constexpr sys_days kOleEpoch = std::chrono::year{1899} / std::chrono::December / 30;

// Day number of a calendar date, counted from 1899-12-30.
constexpr std::int64_t oleDay(const year_month_day& ymd)
{
    return (sys_days{ymd} - kOleEpoch).count();
}

// First and last day that packets may carry: 0100-01-01 and 9999-12-31.
constexpr std::int64_t kFirstDay = oleDay(std::chrono::year{100} / std::chrono::January / 1);
constexpr std::int64_t kLastDay = oleDay(std::chrono::year{9999} / std::chrono::December / 31);
static_assert(kFirstDay == -657434 && kLastDay == 2958465);

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
    const year_month_day ymd{kOleEpoch + days{dm.day}};
    const std::chrono::hh_mm_ss time{milliseconds{dm.ms}};
    CivilDateTime dt;
    dt.year = static_cast<int>(ymd.year());
    dt.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    dt.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    dt.hour = static_cast<int>(time.hours().count());
    dt.minute = static_cast<int>(time.minutes().count());
    dt.second = static_cast<int>(time.seconds().count());
    dt.msec = static_cast<int>(time.subseconds().count());
    return dt;
}

double oleFromCivil(const CivilDateTime& dt)
{
    // Month and day are range-checked before the calendar check: chrono keeps each in a byte.
    const year_month_day ymd{std::chrono::year{dt.year},
                             std::chrono::month{static_cast<unsigned>(dt.month)},
                             std::chrono::day{static_cast<unsigned>(dt.day)}};
    const bool valid = dt.year >= 100 && dt.year <= 9999 && dt.month >= 1 && dt.month <= 12 &&
                       dt.day >= 1 && dt.day <= 31 && ymd.ok() && dt.hour >= 0 && dt.hour <= 23 &&
                       dt.minute >= 0 && dt.minute <= 59 && dt.second >= 0 && dt.second <= 59 &&
                       dt.msec >= 0 && dt.msec <= 999;
    if (!valid) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", dt.year, dt.month,
                      dt.day, dt.hour, dt.minute, dt.second, dt.msec);
        throw WireError(std::string("Data ou hora inválida: ") + buf + ".");
    }
    const std::int64_t day = oleDay(ymd);
    const std::int64_t ms = (std::chrono::hours{dt.hour} + std::chrono::minutes{dt.minute} +
                             std::chrono::seconds{dt.second} + milliseconds{dt.msec})
                                .count();
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
