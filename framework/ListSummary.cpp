#include "framework/ListSummary.h"

#include "platform/dataset/ClientDataSet.h"
#include "platform/dataset/DisplayFormat.h"

#include <QLocale>

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

namespace cht::framework {

using cht::platform::DataSetState;
using cht::platform::TClientDataSet;
using cht::wire::FieldType;

namespace {

// One field of the description as the rows store it.
struct Column {
    int index = -1;
    FieldType type = FieldType::Text;
};

Column columnOf(const TClientDataSet& ds, const QString& name)
{
    if (name.isEmpty())
        return {};
    const cht::platform::TField* f = ds.findField(name);
    return f ? Column{f->index(), f->dataType()} : Column{};
}

// Reads cells from the stored rows, or from the edit buffer for the row being edited.
class RowReader {
public:
    explicit RowReader(const TClientDataSet& ds)
        : m_ds(ds), m_table(ds.table()),
          m_editing(ds.state() == DataSetState::Edit ? ds.recNo() : 0)
    {}

    void moveTo(int recNo)
    {
        m_recNo = recNo;
        m_row = m_ds.storageRow(recNo);
    }

    // Text cells only; the buffer's value is copied into `scratch`.
    std::string_view text(const Column& c, std::string& scratch) const
    {
        if (m_recNo == m_editing) {
            const cht::wire::Value v = m_ds.valueAt(m_recNo, c.index);
            const auto* s = std::get_if<std::string>(&v);
            scratch = s ? *s : std::string();
            return scratch;
        }
        return m_table.text(m_row, static_cast<std::size_t>(c.index));
    }

    double number(const Column& c) const
    {
        if (m_recNo == m_editing) {
            const cht::wire::Value v = m_ds.valueAt(m_recNo, c.index);
            if (const auto* d = std::get_if<double>(&v))
                return *d;
            if (const auto* i = std::get_if<std::int64_t>(&v))
                return static_cast<double>(*i);
            return 0;
        }
        return m_table.number(m_row, static_cast<std::size_t>(c.index));
    }

private:
    const TClientDataSet& m_ds;
    const cht::wire::ColumnTable& m_table;
    int m_editing;
    int m_recNo = 0;
    std::size_t m_row = 0;
};

// "H:MM", "-H:MM" or ":MM", any number of hours and exactly two digits of minutes, nothing around
// it. Over the stored bytes too: a tick-all pass recounts every row, and a text made for each would
// cost more than the rest of the recount.
template <typename Char> std::optional<qint64> clockMinutes(std::basic_string_view<Char> t)
{
    const auto digit = [](Char c) { return c >= Char('0') && c <= Char('9'); };
    const bool negative = !t.empty() && t.front() == Char('-');
    if (negative)
        t.remove_prefix(1);
    // Up to 15 digits of hours, far from overflowing.
    if (t.size() < 3 || t.size() > 18 || t[t.size() - 3] != Char(':'))
        return std::nullopt;
    qint64 hours = 0;
    for (const Char c : t.substr(0, t.size() - 3)) {
        if (!digit(c))
            return std::nullopt;
        hours = hours * 10 + (c - Char('0'));
    }
    const Char tens = t[t.size() - 2];
    const Char units = t[t.size() - 1];
    if (!digit(tens) || tens > Char('5') || !digit(units))
        return std::nullopt;
    const qint64 total = hours * 60 + (tens - Char('0')) * 10 + (units - Char('0'));
    return negative ? -total : total;
}

qint64 minutesOf(const RowReader& row, const Column& c, std::string& scratch)
{
    if (c.index < 0)
        return 0;
    if (c.type != FieldType::Text)
        return qRound64(row.number(c) * 60);
    const std::string_view t = row.text(c, scratch);
    if (const std::optional<qint64> m = clockMinutes(t))
        return *m;
    return parseMinutes(QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()))).value_or(0);
}

double valueOf(const RowReader& row, const Column& c, std::string& scratch)
{
    if (c.index < 0)
        return 0;
    if (c.type != FieldType::Text)
        return row.number(c);
    const std::string_view t = row.text(c, scratch);
    return cht::platform::parseFloat(QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size())))
        .value_or(0);
}

void add(ListSum& sum, qint64 minutes, double value)
{
    ++sum.rows;
    sum.minutes += minutes;
    sum.value += value;
}

} // namespace

ListTotals summarizeList(const TClientDataSet& ds, const ListDescription& d, bool everyRow)
{
    ListTotals totals;
    if (!ds.active())
        return totals;
    const Column tick = columnOf(ds, d.tickField);
    const Column status = everyRow ? columnOf(ds, d.statusField) : Column{};
    const Column hours = columnOf(ds, d.hoursField);
    const Column value = columnOf(ds, d.valueField);
    const std::string ticked = d.tickedValue.toStdString();

    std::vector<std::string> statusValues;
    ListSum other;
    if (status.index >= 0) {
        for (const auto& [v, word] : d.pictureWords.value(d.statusField.toUpper())) {
            statusValues.push_back(v.toStdString());
            totals.byStatus.append({word, ListSum{}});
        }
    }

    RowReader row(ds);
    std::string scratch;
    const int count = ds.recordCount();
    for (int recNo = 1; recNo <= count; ++recNo) {
        row.moveTo(recNo);
        const bool isTicked = tick.index >= 0 && row.text(tick, scratch) == ticked;
        // Hours and money are read only where a sum needs them.
        const bool needed = isTicked || everyRow;
        const qint64 m = needed ? minutesOf(row, hours, scratch) : 0;
        const double v = needed ? valueOf(row, value, scratch) : 0;
        add(totals.listed, m, v);
        if (isTicked)
            add(totals.ticked, m, v);
        if (status.index >= 0) {
            const std::string_view s = row.text(status, scratch);
            const auto at = std::find(statusValues.cbegin(), statusValues.cend(), s);
            ListSum& group = at == statusValues.cend()
                                 ? other
                                 : totals.byStatus[at - statusValues.cbegin()].second;
            add(group, m, v);
        }
    }
    if (other.rows > 0)
        totals.byStatus.append({QString(), other});
    return totals;
}

std::optional<qint64> parseMinutes(QStringView text)
{
    const QStringView t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    const qsizetype colon = t.indexOf(QLatin1Char(':'));
    if (colon < 0) {
        const auto hours = cht::platform::parseFloat(t.toString());
        if (!hours)
            return std::nullopt;
        return qRound64(*hours * 60);
    }
    return clockMinutes(std::u16string_view(t.utf16(), static_cast<std::size_t>(t.size())));
}

QString formatHours(qint64 minutes)
{
    const QLatin1Char zero('0');
    const qint64 a = minutes < 0 ? -minutes : minutes;
    const QString hours = QLocale(QLocale::Portuguese, QLocale::Brazil).toString(a / 60);
    return QStringLiteral("%1%2:%3")
        .arg(minutes < 0 ? QStringLiteral("-") : QString(), hours)
        .arg(a % 60, 2, 10, zero);
}

QString formatMoney(double value)
{
    const QString digits =
        cht::platform::formatFloat(QStringLiteral("#,##0.00"), value < 0 ? -value : value);
    return (value < 0 && digits != QLatin1String("0,00") ? QStringLiteral("-R$ ")
                                                         : QStringLiteral("R$ ")) +
           digits;
}

QString totalsLine(const TClientDataSet& ds, const ListDescription& d)
{
    if (!ds.active())
        return {};
    const ListTotals t = summarizeList(ds, d, false);
    // Portuguese agreement: "1 CHT listada", "2 CHTs listadas", "1 registro listado".
    auto agreed = [&d](int n, const char* stem) {
        return QStringLiteral("%1%2%3").arg(QLatin1String(stem),
                                            d.feminine ? QStringLiteral("a") : QStringLiteral("o"),
                                            n == 1 ? QString() : QStringLiteral("s"));
    };
    QString line = QStringLiteral("%1 %2 %3")
                       .arg(t.listed.rows)
                       .arg(t.listed.rows == 1 ? d.itemName : d.itemNamePlural,
                            agreed(t.listed.rows, "listad"));
    if (d.tickField.isEmpty() || !ds.findField(d.tickField))
        return line;
    line += QStringLiteral(", %1 %2").arg(t.ticked.rows).arg(agreed(t.ticked.rows, "marcad"));
    QStringList sums;
    if (!d.hoursField.isEmpty() && ds.findField(d.hoursField))
        sums << QStringLiteral("%1: %2").arg(d.hoursCaption, formatHours(t.ticked.minutes));
    if (!d.valueField.isEmpty() && ds.findField(d.valueField))
        sums << QStringLiteral("%1: %2").arg(d.valueCaption, formatMoney(t.ticked.value));
    if (!sums.isEmpty())
        line += QStringLiteral(" (%1)").arg(sums.join(QStringLiteral("; ")));
    return line;
}

} // namespace cht::framework
