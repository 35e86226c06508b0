// Data packet: {"fields":[{"name":"X","type":"text","size":1},...],"rows":[[...],...]}
// Null is null, texts are strings, date-times and floats are numbers, integers are integers.
// A key packet is a data packet of the six key fields.
#pragma once

#include "ColumnTable.h"
#include "FieldDef.h"
#include "WireExport.h"

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

/// Streaming writer of a data packet for producers that do not hold a table (the server writes
/// query results straight to the reply with it). Appends to `out`. Each row must carry one value
/// per field, of the field's kind; anything else throws WireError.
class CHT_WIRE_EXPORT PacketWriter {
public:
    explicit PacketWriter(std::string& out);
    ~PacketWriter();
    PacketWriter(const PacketWriter&) = delete;
    PacketWriter& operator=(const PacketWriter&) = delete;

    void begin(const std::vector<FieldDef>& fields);
    void beginRow();
    void null();
    void text(std::string_view utf8);
    void number(double v);
    void integer(std::int64_t v);
    void value(const Value& v);
    void endRow();
    void end();

private:
    struct Impl;
    Impl* m_impl;
};

} // namespace cht::wire
