#include "platform/dataset/DisplayFormat.h"

#include "platform/wire/OleDate.h"
#include "platform/wire/WireError.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <cstdio>
#include <string>

namespace cht::platform {

namespace {

const QLocale& ptBr()
{
    static const QLocale locale(QLocale::Portuguese, QLocale::Brazil);
    return locale;
}

bool isQuote(QChar c)
{
    return c == u'\'' || c == u'"';
}

// Sections of a number picture, split at ';' outside quotes.
QStringList splitSections(const QString& format)
{
    QStringList sections;
    QString current;
    QChar quote;
    for (QChar c : format) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            current += c;
        } else if (isQuote(c)) {
            quote = c;
            current += c;
        } else if (c == u';') {
            sections << current;
            current.clear();
        } else {
            current += c;
        }
    }
    sections << current;
    return sections;
}

struct NumberPicture {
    QString prefix, suffix;
    int intZeros = 0;
    int minDecimals = 0;
    int maxDecimals = 0;
    bool thousands = false;
    bool hasDigits = false;
};

NumberPicture parsePicture(const QString& section)
{
    // The number runs from the first of 0 # . , to the last 0 or #; what lies around is copied.
    auto isNumberChar = [](QChar c) { return c == u'0' || c == u'#' || c == u'.' || c == u','; };
    const auto size = section.size();
    qsizetype first = -1, last = -1;
    QChar quote;
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = section[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (isQuote(c)) {
            quote = c;
            continue;
        }
        if (first < 0 && isNumberChar(c))
            first = i;
        if (c == u'0' || c == u'#')
            last = i;
    }
    NumberPicture p;
    auto literal = [&section](qsizetype from, qsizetype to) {
        QString out;
        QChar q;
        for (qsizetype i = from; i < to; ++i) {
            const QChar c = section[i];
            if (!q.isNull())
                if (c == q)
                    q = QChar();
                else
                    out += c;
            else if (isQuote(c))
                q = c;
            else
                out += c;
        }
        return out;
    };
    if (last < 0 || first > last) {
        p.prefix = literal(0, size);
        return p;
    }
    p.hasDigits = true;
    p.prefix = literal(0, first);
    p.suffix = literal(last + 1, size);
    bool afterPoint = false;
    for (qsizetype i = first; i <= last; ++i) {
        const QChar c = section[i];
        if (c == u'.') {
            afterPoint = true;
        } else if (c == u',') {
            if (!afterPoint)
                p.thousands = true;
        } else if (c == u'0') {
            if (afterPoint) {
                ++p.maxDecimals;
                p.minDecimals = p.maxDecimals;
            } else {
                ++p.intZeros;
            }
        } else if (c == u'#') {
            if (afterPoint)
                ++p.maxDecimals;
        }
    }
    return p;
}

// |value| rounded half away from zero at `decimals` places on its 15 significant digits, as
// plain decimal digits: integer part (no leading zeros) and exactly `decimals` fraction digits.
void roundedDigits(double value, int decimals, std::string& intPart, std::string& fraction)
{
    intPart.clear();
    fraction.assign(static_cast<std::size_t>(decimals), '0');
    const double a = std::fabs(value);
    if (a == 0.0)
        return;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", a);
    std::string digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            digits += *p;
    int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    // digits[0] has weight 10^exponent; keep those down to weight 10^-decimals.
    const long keep = static_cast<long>(exponent) + 1 + decimals;
    if (keep < 0)
        return;
    if (keep < static_cast<long>(digits.size())) {
        const bool up = digits[static_cast<std::size_t>(keep)] >= '5';
        digits.resize(static_cast<std::size_t>(keep));
        if (up) {
            long i = keep - 1;
            for (; i >= 0; --i) {
                char& d = digits[static_cast<std::size_t>(i)];
                if (d == '9') {
                    d = '0';
                } else {
                    ++d;
                    break;
                }
            }
            if (i < 0) {
                digits.insert(digits.begin(), '1');
                ++exponent;
            }
        }
    }
    // Lay the digits out around the decimal point.
    const long intCount = static_cast<long>(exponent) + 1;
    std::string all;
    if (intCount <= 0) {
        all.assign(static_cast<std::size_t>(-intCount), '0');
        all += digits;
        intPart.clear();
        std::string frac = all;
        frac.resize(static_cast<std::size_t>(decimals), '0');
        fraction = frac;
    } else {
        std::string ip = digits.substr(
            0, std::min<std::size_t>(digits.size(), static_cast<std::size_t>(intCount)));
        ip.resize(static_cast<std::size_t>(intCount), '0');
        std::string frac = digits.size() > static_cast<std::size_t>(intCount)
                               ? digits.substr(static_cast<std::size_t>(intCount))
                               : std::string();
        frac.resize(static_cast<std::size_t>(decimals), '0');
        const auto nz = ip.find_first_not_of('0');
        intPart = nz == std::string::npos ? std::string() : ip.substr(nz);
        fraction = frac;
    }
}

QString applyPicture(const NumberPicture& p, double value, bool withSign)
{
    if (!p.hasDigits)
        return p.prefix;
    std::string intPart, fraction;
    roundedDigits(value, p.maxDecimals, intPart, fraction);
    while (static_cast<int>(fraction.size()) > p.minDecimals && fraction.back() == '0')
        fraction.pop_back();
    const bool zero = intPart.empty() && fraction.find_first_not_of('0') == std::string::npos;
    if (static_cast<int>(intPart.size()) < p.intZeros)
        intPart.insert(0, static_cast<std::size_t>(p.intZeros) - intPart.size(), '0');
    QString number;
    if (p.thousands && intPart.size() > 3) {
        const std::size_t n = intPart.size();
        for (std::size_t i = 0; i < n; ++i) {
            if (i > 0 && (n - i) % 3 == 0)
                number += u'.';
            number += QLatin1Char(intPart[i]);
        }
    } else {
        number = QString::fromLatin1(intPart);
    }
    if (!fraction.empty())
        number += u',' + QString::fromLatin1(fraction);
    QString out;
    if (withSign && value < 0 && !zero)
        out += u'-';
    return out + p.prefix + number + p.suffix;
}

// Digits of a non-negative number, zero-padded to `width`, written backwards from `end`.
void putDigits(char16_t* end, int v, int width)
{
    for (int i = 0; i < width; ++i, v /= 10)
        *--end = static_cast<char16_t>(u'0' + v % 10);
}

QString twoDigits(int v)
{
    char16_t digits[2];
    putDigits(digits + 2, v, 2);
    return QString(reinterpret_cast<const QChar*>(digits), 2);
}

} // namespace

QString formatFloatGeneral(double value)
{
    if (!std::isfinite(value))
        return {};
    if (value == 0.0)
        return QStringLiteral("0");
    QString s = QString::number(value, 'g', 15);
    s.replace(u'.', u',');
    return s;
}

QString formatFloat(const QString& format, double value)
{
    if (format.isEmpty() || !std::isfinite(value))
        return formatFloatGeneral(value);
    const QStringList sections = splitSections(format);
    if (value < 0 && sections.size() >= 2 && !sections[1].isEmpty())
        return applyPicture(parsePicture(sections[1]), value, false);
    if (value == 0.0 && sections.size() >= 3 && !sections[2].isEmpty())
        return applyPicture(parsePicture(sections[2]), value, false);
    return applyPicture(parsePicture(sections[0]), value, true);
}

QString formatDateTime(const QString& format, double ole)
{
    wire::CivilDateTime c;
    try {
        c = wire::civilFromOle(ole);
    } catch (const wire::WireError&) {
        return {};
    }
    const bool midnight = c.hour == 0 && c.minute == 0 && c.second == 0 && c.msec == 0;
    if (format.isEmpty()) {
        // The default pictures, written straight: lists show thousands of dates.
        char16_t text[19] = {u'0', u'0', u'/', u'0', u'0', u'/', u'0', u'0', u'0', u'0',
                             u' ', u'0', u'0', u':', u'0', u'0', u':', u'0', u'0'};
        putDigits(text + 2, c.day, 2);
        putDigits(text + 5, c.month, 2);
        putDigits(text + 10, c.year, 4);
        putDigits(text + 13, c.hour, 2);
        putDigits(text + 16, c.minute, 2);
        putDigits(text + 19, c.second, 2);
        return QString(reinterpret_cast<const QChar*>(text), midnight ? 10 : 19);
    }
    QString picture = format;
    if (picture.isEmpty())
        picture = midnight ? QStringLiteral("dd/mm/yyyy") : QStringLiteral("dd/mm/yyyy hh:nn:ss");
    const QDate date(c.year, c.month, c.day);
    const QLocale& locale = ptBr();

    QString out;
    bool afterHour = false;
    const auto size = picture.size();
    for (qsizetype i = 0; i < size;) {
        const QChar ch = picture[i];
        if (isQuote(ch)) {
            qsizetype j = i + 1;
            while (j < size && picture[j] != ch)
                out += picture[j++];
            i = j + 1;
            continue;
        }
        const QChar lower = ch.toLower();
        qsizetype n = 1;
        while (i + n < size && picture[i + n].toLower() == lower)
            ++n;
        const int count = static_cast<int>(n);
        switch (lower.unicode()) {
        case u'd':
            if (count == 1)
                out += QString::number(c.day);
            else if (count == 2)
                out += twoDigits(c.day);
            else if (count == 3)
                out += locale.dayName(date.dayOfWeek(), QLocale::ShortFormat);
            else if (count == 4)
                out += locale.dayName(date.dayOfWeek(), QLocale::LongFormat);
            else
                out += twoDigits(c.day) + u'/' + twoDigits(c.month) + u'/' +
                       QStringLiteral("%1").arg(c.year, 4, 10, QLatin1Char('0'));
            afterHour = false;
            break;
        case u'm':
            if (afterHour) {
                out += count == 1 ? QString::number(c.minute) : twoDigits(c.minute);
            } else if (count == 1) {
                out += QString::number(c.month);
            } else if (count == 2) {
                out += twoDigits(c.month);
            } else {
                out += locale.monthName(c.month,
                                        count == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
            }
            afterHour = false;
            break;
        case u'y':
            out += count <= 2 ? twoDigits(c.year % 100)
                              : QStringLiteral("%1").arg(c.year, 4, 10, QLatin1Char('0'));
            afterHour = false;
            break;
        case u'h':
            out += count == 1 ? QString::number(c.hour) : twoDigits(c.hour);
            afterHour = true;
            break;
        case u'n':
            out += count == 1 ? QString::number(c.minute) : twoDigits(c.minute);
            afterHour = false;
            break;
        case u's':
            out += count == 1 ? QString::number(c.second) : twoDigits(c.second);
            afterHour = false;
            break;
        case u'z':
            out += count >= 3 ? QStringLiteral("%1").arg(c.msec, 3, 10, QLatin1Char('0'))
                              : QString::number(c.msec);
            afterHour = false;
            break;
        default:
            out += QString(n, ch);
            break;
        }
        i += n;
    }
    return out;
}

QString formatDateTime(const QString& format, const QDateTime& dateTime)
{
    const auto ole = oleFromDateTime(dateTime);
    return ole ? formatDateTime(format, *ole) : QString();
}

std::optional<double> parseFloat(const QString& text)
{
    QString s = text.trimmed();
    if (s.isEmpty())
        return std::nullopt;
    if (s.contains(u',')) {
        s.remove(u'.');
        s.replace(u',', u'.');
    } else if (s.contains(u'.')) {
        static const QRegularExpression grouped(QStringLiteral("^[-+]?\\d{1,3}(\\.\\d{3})+$"));
        if (grouped.match(s).hasMatch())
            s.remove(u'.');
    }
    static const QRegularExpression plain(
        QStringLiteral("^[-+]?(\\d+\\.?\\d*|\\.\\d+)([eE][-+]?\\d+)?$"));
    if (!plain.match(s).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double v = s.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<double> parseDateTime(const QString& text)
{
    static const QRegularExpression re(QStringLiteral(
        "^(\\d{1,2})/(\\d{1,2})/(\\d{4}|\\d{2})(?:\\s+(\\d{1,2}):(\\d{2})(?::(\\d{2}))?)?$"));
    const auto m = re.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    wire::CivilDateTime c;
    c.day = m.captured(1).toInt();
    c.month = m.captured(2).toInt();
    c.year = m.captured(3).toInt();
    if (m.captured(3).size() == 2)
        c.year += c.year < 50 ? 2000 : 1900;
    c.hour = m.captured(4).isEmpty() ? 0 : m.captured(4).toInt();
    c.minute = m.captured(5).isEmpty() ? 0 : m.captured(5).toInt();
    c.second = m.captured(6).isEmpty() ? 0 : m.captured(6).toInt();
    c.msec = 0;
    if (!QDate::isValid(c.year, c.month, c.day) || !QTime::isValid(c.hour, c.minute, c.second))
        return std::nullopt;
    try {
        return wire::oleFromCivil(c);
    } catch (const wire::WireError&) {
        return std::nullopt;
    }
}

std::optional<double> oleFromDateTime(const QDateTime& dateTime)
{
    if (!dateTime.isValid())
        return std::nullopt;
    const QDate d = dateTime.date();
    const QTime t = dateTime.time();
    wire::CivilDateTime c{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec()};
    try {
        return wire::oleFromCivil(c);
    } catch (const wire::WireError&) {
        return std::nullopt;
    }
}

QDateTime dateTimeFromOle(double ole)
{
    try {
        const wire::CivilDateTime c = wire::civilFromOle(ole);
        return QDateTime(QDate(c.year, c.month, c.day), QTime(c.hour, c.minute, c.second, c.msec));
    } catch (const wire::WireError&) {
        return {};
    }
}

} // namespace cht::platform
