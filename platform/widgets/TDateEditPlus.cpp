#include "platform/widgets/TDateEditPlus.h"

#include "platform/wire/OleDate.h"

#include <QDate>
#include <QPalette>

#include <cmath>

namespace cht::platform {
namespace {

constexpr double kSecondsPerDay = 86400.0;

// Digits of one part of "dd/mm/yyyy" as typed (mask blanks dropped); -1 when it holds anything
// but digits, 0 digits gives an empty part.
struct Part {
    QString digits;
    bool clean = true;
};

Part readPart(const QString& s)
{
    Part p;
    for (const QChar c : s)
        if (c.isDigit())
            p.digits += c;
        else if (c != u' ' && c != u'_')
            p.clean = false;
    return p;
}

} // namespace

TDateEditPlus::TDateEditPlus(QWidget* parent) : QLineEdit(parent)
{
    setInputMask(QStringLiteral("99/99/9999;_"));
    m_weekDayNames = {QStringLiteral("Domingo"),      QStringLiteral("Segunda-feira"),
                      QStringLiteral("Terça-feira"),  QStringLiteral("Quarta-feira"),
                      QStringLiteral("Quinta-feira"), QStringLiteral("Sexta-feira"),
                      QStringLiteral("Sábado")};
    connect(this, &QLineEdit::textChanged, this, [this] { textWasEdited(); });
}

TDateEditPlus::~TDateEditPlus() = default;

QString TDateEditPlus::typedText() const
{
    const QString shown = text();
    for (const QChar c : shown)
        if (c.isDigit())
            return shown;
    return {};
}

std::optional<double> TDateEditPlus::parse() const
{
    const QStringList parts = text().split(u'/');
    if (parts.size() != 3)
        return std::nullopt;
    const Part d = readPart(parts[0]), m = readPart(parts[1]), y = readPart(parts[2]);
    if (!d.clean || !m.clean || !y.clean || d.digits.isEmpty() || m.digits.isEmpty() ||
        y.digits.isEmpty() || y.digits.size() == 3)
        return std::nullopt;
    int year = y.digits.toInt();
    if (y.digits.size() <= 2)
        year += 2000; // two digits are read in the current century
    const int month = m.digits.toInt();
    const int day = d.digits.toInt();
    if (year < 100 || !QDate::isValid(year, month, day))
        return std::nullopt;
    wire::CivilDateTime civil;
    civil.year = year;
    civil.month = month;
    civil.day = day;
    return wire::oleFromCivil(civil);
}

bool TDateEditPlus::isValidDate() const
{
    return parse().has_value();
}

double TDateEditPlus::GetDate() const
{
    const auto day = parse();
    if (!day)
        return 0.0;
    // Before 1899-12-30 the fraction still counts forwards, so the time is added either way.
    return *day + (m_saveTime ? m_savedTime : 0.0);
}

void TDateEditPlus::SetDate(double ole)
{
    if (ole == 0.0 || !wire::isOleInRange(ole)) {
        m_savedTime = 0.0;
        clear();
        return;
    }
    const wire::CivilDateTime c = wire::civilFromOle(ole);
    m_savedTime = (c.hour * 3600.0 + c.minute * 60.0 + c.second + c.msec / 1000.0) / kSecondsPerDay;
    setText(QStringLiteral("%1/%2/%3")
                .arg(c.day, 2, 10, QLatin1Char('0'))
                .arg(c.month, 2, 10, QLatin1Char('0'))
                .arg(c.year, 4, 10, QLatin1Char('0')));
}

void TDateEditPlus::CheckValidDate() const
{
    if (typedText().isEmpty() || parse())
        return;
    throw DateEditError(QStringLiteral("\"%1\" não é uma data válida. Informe a data no formato "
                                       "dd/mm/aaaa.")
                            .arg(text())
                            .toStdString());
}

QString TDateEditPlus::weekDayName() const
{
    const auto day = parse();
    if (!day || m_weekDayNames.size() < 7)
        return {};
    const wire::CivilDateTime c = wire::civilFromOle(*day);
    const int dow = QDate(c.year, c.month, c.day).dayOfWeek(); // 1 Monday .. 7 Sunday
    return m_weekDayNames.at(dow % 7);
}

void TDateEditPlus::setWeekDayNames(const QStringList& names)
{
    m_weekDayNames = names;
    textWasEdited();
}

void TDateEditPlus::setValidColors(bool on)
{
    m_validColors = on;
    textWasEdited();
}

void TDateEditPlus::setValidColor(const QColor& color)
{
    m_validColor = color;
    textWasEdited();
}

void TDateEditPlus::setInvalidColor(const QColor& color)
{
    m_invalidColor = color;
    textWasEdited();
}

void TDateEditPlus::textWasEdited()
{
    setToolTip(weekDayName());
    QPalette pal = palette();
    QColor color = QPalette().color(QPalette::Text);
    if (m_validColors && !typedText().isEmpty())
        color = isValidDate() ? m_validColor : m_invalidColor;
    pal.setColor(QPalette::Text, color);
    setPalette(pal);
}

} // namespace cht::platform
