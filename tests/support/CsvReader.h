// A strict reader of CSV as RFC 4180 defines it (with a chosen separator), written apart from the
// exporter so that a test reads the file as a spreadsheet would.
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace cht::testing {

/// The records of `text`; nothing with `error` set when the text breaks the format (a quote inside
/// an unquoted field, text after a closing quote, an unclosed quote). Records end with CRLF.
std::vector<QStringList> readCsv(const QString& text, QChar separator, QString* error);

} // namespace cht::testing
