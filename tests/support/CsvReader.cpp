#include "tests/support/CsvReader.h"

namespace cht::testing {

std::vector<QStringList> readCsv(const QString& text, QChar separator, QString* error)
{
    std::vector<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;    // inside a quoted field
    bool wasQuoted = false; // the field was quoted and its closing quote seen
    bool fieldStart = true;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                    wasQuoted = true;
                }
            } else {
                field += c;
            }
            continue;
        }
        if (c == separator) {
            record << field;
            field.clear();
            fieldStart = true;
            wasQuoted = false;
            continue;
        }
        if (c == QLatin1Char('\r')) {
            if (i + 1 >= n || text.at(i + 1) != QLatin1Char('\n')) {
                *error = QStringLiteral("CR sem LF na posição %1").arg(i);
                return {};
            }
            ++i;
            record << field;
            records.push_back(record);
            record.clear();
            field.clear();
            fieldStart = true;
            wasQuoted = false;
            continue;
        }
        if (c == QLatin1Char('\n')) {
            *error = QStringLiteral("LF sem CR na posição %1").arg(i);
            return {};
        }
        if (c == QLatin1Char('"')) {
            if (!fieldStart) {
                *error = QStringLiteral("aspas dentro de campo sem aspas na posição %1").arg(i);
                return {};
            }
            quoted = true;
            fieldStart = false;
            continue;
        }
        if (wasQuoted) {
            *error = QStringLiteral("texto depois das aspas de fechamento na posição %1").arg(i);
            return {};
        }
        field += c;
        fieldStart = false;
    }
    if (quoted) {
        *error = QStringLiteral("aspas não fechadas");
        return {};
    }
    if (!fieldStart || !record.isEmpty()) {
        *error = QStringLiteral("último registro sem CRLF");
        return {};
    }
    return records;
}

} // namespace cht::testing
