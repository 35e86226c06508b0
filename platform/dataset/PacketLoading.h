// Fitting a received data packet to a client data set's fields (internal to the library).
#pragma once

#include "platform/wire/ColumnTable.h"

#include <QString>

#include <memory>
#include <vector>

namespace cht::platform {

class TField;

/// The packet's columns laid out as the persistent fields: found by name without regard to case,
/// adopted without copying where the description matches, copied once where it differs (a wider
/// text, integers for a float); extra columns are left in `packet`. Every field is checked before
/// any column moves: a missing field or one of another type throws DataSetError naming it and
/// `dataSetName`, and leaves `packet` whole.
wire::ColumnTable fitPacketToFields(wire::ColumnTable& packet,
                                    const std::vector<std::unique_ptr<TField>>& fields,
                                    const QString& dataSetName);

/// True when the fields are, in order, those the descriptions define (name, type and size).
bool fieldsMatch(const std::vector<std::unique_ptr<TField>>& fields,
                 const std::vector<wire::FieldDef>& defs);

} // namespace cht::platform
