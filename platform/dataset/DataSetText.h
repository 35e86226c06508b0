// Messages and value checks shared by the data set and its fields (internal to the library).
#pragma once

#include "platform/wire/FieldDef.h"

#include <QString>

namespace cht::platform {

class TField;

namespace dataset_text {

/// A Portuguese message from a UTF-8 literal, to be completed with arg().
inline QString msg(const char* utf8)
{
    return QString::fromUtf8(utf8);
}
/// Portuguese name of a field type, for messages.
QString typeName(wire::FieldType type);
/// The value as the field stores it: texts cut to the size, numbers of the field's kind. A value
/// that does not fit the field throws DataSetError naming it.
wire::Value coerce(const TField& field, const wire::Value& value);

} // namespace dataset_text
} // namespace cht::platform
