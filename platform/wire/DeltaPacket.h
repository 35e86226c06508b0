// Delta packet: the change log of a data set, changed rows only.
// {"fields":[...],"changes":[{"op":"update","old":[...],"new":[...]},
//                            {"op":"insert","new":[...]},{"op":"delete","old":[...]}]}
// "old" holds the saved values of the row (as loaded or last merged), "new" its current values.
#pragma once

#include "FieldDef.h"
#include "cht_wire_export.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cht::wire {

enum class ChangeOp : std::uint8_t { Update, Insert, Delete };

struct Change {
    ChangeOp op = ChangeOp::Update;
    std::vector<Value> oldValues; // empty for an insert
    std::vector<Value> newValues; // empty for a delete
};

struct DeltaPacket {
    std::vector<FieldDef> fields;
    std::vector<Change> changes;
    /// Index of the named field (case-insensitive), or -1.
    CHT_WIRE_EXPORT int indexOf(std::string_view name) const;
};

/// Throws WireError when a change does not carry one value of the right kind per field.
CHT_WIRE_EXPORT std::string encodeDeltaPacket(const DeltaPacket& delta);
/// Strict as decodeDataPacket; texts are cut to the field sizes.
CHT_WIRE_EXPORT DeltaPacket decodeDeltaPacket(std::string_view json);

} // namespace cht::wire
