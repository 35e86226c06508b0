// The multi-selection pick list over a data source.
#pragma once

#include "cht_framework_export.h"
#include "platform/dataset/DataSource.h"

#include <QString>

namespace cht::framework {

/// Shows the rows of `source` (its visible fields, with their labels and get-text hooks) in a
/// modal pick list with a search box; `titleAndEmpty` is "title|text shown when there are no
/// rows". Starts from the keys in `selection` (the key list format of the wire codec) and, when
/// the operator confirms, writes the picked values of `keyField` back into it in that format; a
/// cancelled pick leaves it unchanged. Returns true when the operator confirmed.
CHT_FRAMEWORK_EXPORT bool PesquisaLista(cht::platform::TDataSource* source, const QString& keyField,
                                        const QString& titleAndEmpty, bool singleSelection,
                                        QString& selection);

} // namespace cht::framework
