// The multi-selection pick list over a data source.
#pragma once

#include "cht_framework_export.h"
#include "platform/dataset/DataSource.h"

#include <QString>

namespace cht::framework {

/// Shows the rows of `source` (its visible fields, with their labels, display widths and get-text
/// hooks) in a modal pick list; `titleAndEmpty` is "title|text shown when there are no rows",
/// which a closed or empty data set shows instead. Typing narrows the rows to those whose key or
/// shown fields contain the text, without regard to case, accents or punctuation. Starts from the
/// keys in `selection` (the key list format of the wire codec), ticked, and, when the operator
/// confirms, writes the ticked values of `keyField` back into it in that format, in the rows'
/// order; a cancelled pick leaves it unchanged. The data set's cursor does not move. Returns true
/// when the operator confirmed.
CHT_FRAMEWORK_EXPORT bool PesquisaLista(cht::platform::TDataSource* source, const QString& keyField,
                                        const QString& titleAndEmpty, bool singleSelection,
                                        QString& selection);

} // namespace cht::framework
