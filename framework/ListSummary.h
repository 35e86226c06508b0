// What a grid screen's list adds up to: rows listed and ticked, and the hours and money of the
// ticked ones and of each status. Read straight from the data set's rows, so that a recount of
// 100,000 rows costs a millisecond and never a server call.
#pragma once

#include "cht_framework_export.h"
#include "module/contracts/TfrmPadraoGrid.h"

#include <QList>
#include <QString>

#include <optional>

namespace cht::platform {
class TClientDataSet;
}

namespace cht::framework {

/// Rows, minutes and money of one group of rows.
struct ListSum {
    int rows = 0;
    qint64 minutes = 0;
    double value = 0;
};

struct ListTotals {
    ListSum listed;
    ListSum ticked;
    /// One entry per status word of the description, in its order, then one for any other value
    /// when some row has one (its word empty).
    QList<QPair<QString, ListSum>> byStatus;
};

/// Sums the rows of `dataSet` as `description` names its fields; a closed set gives zeros. The
/// ticked rows are always summed; the hours and money of every row and the status groups only
/// with `everyRow` (the totals line does without them).
CHT_FRAMEWORK_EXPORT ListTotals summarizeList(const cht::platform::TClientDataSet& dataSet,
                                              const ListDescription& description, bool everyRow);

/// "H:MM" or "HH:MM" (any number of hours), or a pt-BR number of hours ("7,5"); nothing else.
CHT_FRAMEWORK_EXPORT std::optional<qint64> parseMinutes(QStringView text);
/// Minutes as hours and minutes: "1.234:05", "0:00".
CHT_FRAMEWORK_EXPORT QString formatHours(qint64 minutes);
/// Money in pt-BR: "R$ 1.234,56", "-R$ 3,00".
CHT_FRAMEWORK_EXPORT QString formatMoney(double value);

/// The totals line's text: rows listed and ticked, with the hours and money of the ticked ones
/// where the description names those fields; empty while the list is closed.
CHT_FRAMEWORK_EXPORT QString totalsLine(const cht::platform::TClientDataSet& dataSet,
                                        const ListDescription& description);

} // namespace cht::framework
