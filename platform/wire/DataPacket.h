// Data packet: {"fields":[{"name":"X","type":"text","size":1},...],"rows":[[...],...]}
// Null is null, texts are strings, date-times and floats are numbers, integers are integers.
// A key packet is a data packet of the six key fields.
#pragma once

#include "ColumnTable.h"
#include "FieldDef.h"
#include "PacketWriter.h"
#include "cht_wire_export.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cht::wire {

/// Decodes a data packet. Any malformation (truncation, wrong shapes, a value of the wrong type,
/// a row with the wrong number of values, invalid UTF-8, numbers out of range, duplicate field
/// names) throws WireError naming the place; nothing half-decoded escapes.
CHT_WIRE_EXPORT ColumnTable decodeDataPacket(std::string_view json);
/// Writes a data packet of all rows, or of the given rows in the given order.
CHT_WIRE_EXPORT std::string encodeDataPacket(const ColumnTable& table);
CHT_WIRE_EXPORT std::string encodeDataPacket(const ColumnTable& table,
                                             const std::vector<std::size_t>& rows);

} // namespace cht::wire
