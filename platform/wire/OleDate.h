// OLE Automation dates: days since 1899-12-30, the time of day as the fraction. Before that day
// the integer part counts backwards while the fraction still counts forwards (-1.25 is
// 1899-12-29 06:00), as the format defines it.
#pragma once

#include "cht_wire_export.h"

#include <cstdint>

namespace cht::wire {

/// A calendar date and time of day (proleptic Gregorian), to the millisecond.
struct CivilDateTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, msec = 0;
    bool operator==(const CivilDateTime&) const = default;
};

/// Exact conversion to the calendar, rounded to the millisecond. Throws WireError for a value
/// outside years 100..9999 or not finite.
CHT_WIRE_EXPORT CivilDateTime civilFromOle(double ole);
/// Exact conversion from the calendar. Throws WireError for an invalid date or time.
CHT_WIRE_EXPORT double oleFromCivil(const CivilDateTime& dt);
/// Whole days: the date part of an OLE value (1899-12-29 18:00 is day -1), as a day number.
/// It is the calendar day civilFromOle gives, counted from 1899-12-30.
CHT_WIRE_EXPORT std::int64_t oleDayNumber(double ole);

/// True when the value is finite and its day lies in years 100..9999 (what packets may carry).
CHT_WIRE_EXPORT bool isOleInRange(double ole);

} // namespace cht::wire
