// Delta packet: the change log of a data set, changed rows only.
// {"fields":[...],"changes":[{"op":"update","old":[...],"new":[...]},
//                            {"op":"insert","new":[...]},{"op":"delete","old":[...]}]}
// "old" holds the saved values of the row (as loaded or last merged), "new" its current values.
#pragma once

#include "ColumnTable.h"
#include "FieldDef.h"
#include "cht_wire_export.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cht::wire {

enum class ChangeOp : std::uint8_t { Update, Insert, Delete };

// The values sit in two column stores, one row per change: a delta of 100,000 ticks is a few
// arrays, not millions of separately allocated values.
class CHT_WIRE_EXPORT DeltaPacket {
public:
    DeltaPacket() = default;
    /// Throws WireError for an empty or repeated field name.
    explicit DeltaPacket(std::vector<FieldDef> fields);

    const std::vector<FieldDef>& fields() const { return m_before.fields(); }
    /// Index of the named field (case-insensitive), or -1.
    int indexOf(std::string_view name) const { return m_before.indexOf(name); }

    std::size_t size() const { return m_ops.size(); }
    bool empty() const { return m_ops.empty(); }
    ChangeOp op(std::size_t change) const { return m_ops.at(change); }
    /// Saved values, row `change`: nulls for an insert.
    const ColumnTable& before() const { return m_before; }
    /// Current values, row `change`: nulls for a delete.
    const ColumnTable& after() const { return m_after; }

    /// Appends a change whose values are all null and returns its index; its values are then set
    /// through before() and after().
    std::size_t add(ChangeOp op);
    /// Appends a change with one value per field on each side its op has (an insert has no old
    /// values, a delete no new ones); throws WireError otherwise.
    std::size_t add(ChangeOp op, const std::vector<Value>& oldValues,
                    const std::vector<Value>& newValues);
    ColumnTable& before() { return m_before; }
    ColumnTable& after() { return m_after; }
    void reserve(std::size_t changes);

private:
    std::vector<ChangeOp> m_ops;
    ColumnTable m_before;
    ColumnTable m_after;

    friend class PacketDecoder;
};

/// Throws WireError when a value does not fit its field.
CHT_WIRE_EXPORT std::string encodeDeltaPacket(const DeltaPacket& delta);
/// Strict as decodeDataPacket; texts are cut to the field sizes.
CHT_WIRE_EXPORT DeltaPacket decodeDeltaPacket(std::string_view json);

} // namespace cht::wire
