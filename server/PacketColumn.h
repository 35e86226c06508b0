// A result column of a statement as a packet value: null as null, a date-time as its OLE day
// number, the others as they are.
#pragma once

#include "SqlDate.h"
#include "SqlStatement.h"

#include "platform/wire/FieldDef.h"
#include "platform/wire/PacketWriter.h"

#include <string>

namespace cht::server {

/// Straight into the packet, without a copy of the text.
inline void writeColumn(SqlStatement& st, int col, wire::FieldType type, wire::PacketWriter& out)
{
    if (st.isNull(col)) {
        out.null();
        return;
    }
    switch (type) {
    case wire::FieldType::Text:
        out.text(st.text(col));
        break;
    case wire::FieldType::DateTime:
        out.number(sqldate::toOle(st.text(col)));
        break;
    case wire::FieldType::Float:
        out.number(st.real(col));
        break;
    case wire::FieldType::Integer:
        out.integer(st.integer(col));
        break;
    }
}

/// The same value, kept for later.
inline wire::Value readColumn(SqlStatement& st, int col, wire::FieldType type)
{
    if (st.isNull(col))
        return {};
    switch (type) {
    case wire::FieldType::Text:
        return std::string(st.text(col));
    case wire::FieldType::DateTime:
        return sqldate::toOle(st.text(col));
    case wire::FieldType::Float:
        return st.real(col);
    case wire::FieldType::Integer:
        return st.integer(col);
    }
    return {};
}

} // namespace cht::server
