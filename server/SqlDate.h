// Date-times in the database: "YYYY-MM-DD HH:MM:SS.mmm" text in SQLite (so that text order is
// time order), timestamp(3) in PostgreSQL (whose ISO output the same parser reads). On the wire
// they are OLE day numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cht::server::sqldate {

/// "YYYY-MM-DD HH:MM:SS.mmm" of an OLE date-time. Throws wire::WireError when out of range.
std::string fromOle(double ole);
/// "YYYY-MM-DD" (midnight) of a whole OLE day number.
std::string fromDay(std::int64_t day);
/// The end of a day, as the bound every date-time of it stays below: the next day, or, after the
/// last day a date can have, "infinity" (which SQLite's text order and PostgreSQL's timestamps
/// both put after every date).
std::string dayAfter(std::int64_t day);
/// OLE date-time of a database text: "YYYY-MM-DD", optionally followed by " HH:MM[:SS[.f...]]"
/// (or 'T' instead of the blank). Throws StoreError for anything else.
double toOle(std::string_view text);

} // namespace cht::server::sqldate
