// Private: writing whole data and delta packets into a writer that may be inside an RPC envelope.
#pragma once

#include "ColumnTable.h"
#include "DeltaPacket.h"
#include "JsonOutput.h"

#include <cstddef>
#include <vector>

namespace cht::wire {

/// rows null writes every row.
void writeDataPacket(JsonWriter& w, const ColumnTable& table, const std::vector<std::size_t>* rows);
void writeDeltaPacket(JsonWriter& w, const DeltaPacket& delta);

} // namespace cht::wire
