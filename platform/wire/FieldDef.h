// Field descriptions and cell values shared by every packet kind.
#pragma once

#include "cht_wire_export.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace cht::wire {

/// Field types of a packet: text with a size, date-time (OLE day number), floating point, integer.
enum class FieldType : std::uint8_t { Text, DateTime, Float, Integer };

/// Wire name of a type: "text", "datetime", "float", "integer".
CHT_WIRE_EXPORT std::string_view fieldTypeName(FieldType type);
/// Inverse of fieldTypeName; throws WireError for an unknown name.
CHT_WIRE_EXPORT FieldType fieldTypeFromName(std::string_view name);

/// One field description of a packet. size is the maximum number of characters of a text field
/// (0 for the other types; 0 on a text field means no limit).
struct FieldDef {
    std::string name;
    FieldType type = FieldType::Text;
    std::uint32_t size = 0;
    bool operator==(const FieldDef&) const = default;
};

/// One cell value: null, text (UTF-8), a number (float or date-time) or an integer.
using Value = std::variant<std::monostate, std::string, double, std::int64_t>;

inline bool isNull(const Value& v)
{
    return std::holds_alternative<std::monostate>(v);
}

/// Field names compare without regard to ASCII case.
CHT_WIRE_EXPORT bool sameFieldName(std::string_view a, std::string_view b);

} // namespace cht::wire
