// Number and date display formats as the operator reads them (pt-BR: "1.234,56", "31/12/2026"),
// shared by the fields and the widgets.
#pragma once

#include "cht_platform_export.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace cht::platform {

/// Formats a number by a picture such as "#,###,##0.00": '0' a required digit, '#' an optional
/// one, '.' the decimal point, ',' anywhere before it asks for thousands separators, quoted or
/// other characters are copied. Up to three sections split by ';' (positive; negative, shown
/// without a sign; zero). Output uses pt-BR separators: 1234.56 gives "1.234,56". Halves round
/// away from zero on the value's 15 significant digits. An empty picture gives formatFloatGeneral.
CHT_PLATFORM_EXPORT QString formatFloat(const QString& format, double value);
/// Shortest text of up to 15 significant digits with a decimal comma and no thousands
/// separators ("1234,56", "0,1", "-3").
CHT_PLATFORM_EXPORT QString formatFloatGeneral(double value);

/// Formats a date-time (an OLE day number) by a picture whose letters are read without regard to
/// case: d/dd day, ddd/dddd day name, m/mm month (minutes right after an hour), mmm/mmmm month
/// name, yy/yyyy year, h/hh hour, n/nn minutes, s/ss seconds, z/zzz milliseconds; quoted text and
/// other characters are copied. An empty picture gives "dd/MM/yyyy HH:mm:ss", or "dd/MM/yyyy"
/// when the time of day is 0. A value outside the calendar gives an empty text.
CHT_PLATFORM_EXPORT QString formatDateTime(const QString& format, double ole);
CHT_PLATFORM_EXPORT QString formatDateTime(const QString& format, const QDateTime& dateTime);

/// Reads a number typed in pt-BR ("1.234,56", "1234,56", "-3"); a text with a point and no comma
/// is also read with the point as the decimal mark when it is not a thousands grouping ("2.5").
/// Surrounding blanks are ignored; anything else gives nothing.
CHT_PLATFORM_EXPORT std::optional<double> parseFloat(const QString& text);
/// Reads "dd/MM/yyyy", "dd/MM/yyyy HH:mm" or "dd/MM/yyyy HH:mm:ss" (day and month may have one
/// digit, the year two) into an OLE day number; anything else gives nothing.
CHT_PLATFORM_EXPORT std::optional<double> parseDateTime(const QString& text);

/// OLE day number of a calendar date and time (local, no zone), and back; invalid gives nothing.
CHT_PLATFORM_EXPORT std::optional<double> oleFromDateTime(const QDateTime& dateTime);
CHT_PLATFORM_EXPORT QDateTime dateTimeFromOle(double ole);

} // namespace cht::platform
