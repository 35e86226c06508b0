#include "FieldDef.h"

#include "WireError.h"

#include <string>

namespace cht::wire {

std::string_view fieldTypeName(FieldType type)
{
    switch (type) {
    case FieldType::Text:
        return "text";
    case FieldType::DateTime:
        return "datetime";
    case FieldType::Float:
        return "float";
    case FieldType::Integer:
        return "integer";
    }
    return "text";
}

FieldType fieldTypeFromName(std::string_view name)
{
    if (name == "text")
        return FieldType::Text;
    if (name == "datetime")
        return FieldType::DateTime;
    if (name == "float")
        return FieldType::Float;
    if (name == "integer")
        return FieldType::Integer;
    throw WireError("Tipo de campo desconhecido: \"" + std::string(name) + "\".");
}

bool sameFieldName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace cht::wire
