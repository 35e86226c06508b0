#include "RowSet.h"

#include "platform/wire/PacketWriter.h"

#include <stdexcept>

namespace cht::server {

RowSet::RowSet(std::string name, std::size_t width) : m_name(std::move(name)), m_width(width) {}

void RowSet::add(std::initializer_list<const std::string*> row)
{
    if (row.size() != m_width)
        throw std::logic_error("RowSet " + m_name + ": linha com número errado de valores");
    for (const std::string* v : row)
        m_cells.push_back(v ? std::optional<std::string>(*v) : std::nullopt);
    ++m_rows;
}

std::string RowSet::from(Dialect d) const
{
    if (d != Dialect::Postgres)
        return "temp." + m_name + " R";
    std::string sql = "(SELECT ord - 1 AS pos";
    for (std::size_t i = 0; i < m_width; ++i)
        sql += ", value->>" + std::to_string(i) + " AS c" + std::to_string(i);
    return sql + " FROM json_array_elements(CAST(? AS json)) WITH ORDINALITY AS j(value, ord)) R";
}

void RowSet::write(SqlConnection& c) const
{
    if (c.dialect() == Dialect::Postgres)
        return;
    std::string columns = "pos INTEGER PRIMARY KEY";
    std::string insert = "INSERT INTO temp." + m_name + " VALUES (?";
    for (std::size_t i = 0; i < m_width; ++i) {
        columns += ", c" + std::to_string(i) + " TEXT";
        insert += ", ?";
    }
    insert += ")";
    c.exec("CREATE TEMP TABLE IF NOT EXISTS " + m_name + " (" + columns + "); DELETE FROM temp." +
           m_name);
    SqlStatement& st = c.cached(insert);
    for (std::size_t r = 0; r < m_rows; ++r) {
        st.reset();
        st.bindInt(1, static_cast<std::int64_t>(r));
        for (std::size_t i = 0; i < m_width; ++i) {
            const auto& v = m_cells[r * m_width + i];
            const int index = static_cast<int>(i) + 2;
            if (v)
                st.bindText(index, *v);
            else
                st.bindNull(index);
        }
        st.run();
    }
    st.reset();
}

int RowSet::bind(SqlConnection& c, SqlStatement& st, int index) const
{
    if (c.dialect() != Dialect::Postgres)
        return index;
    std::vector<wire::FieldDef> fields;
    for (std::size_t i = 0; i < m_width; ++i)
        fields.push_back({"c" + std::to_string(i), wire::FieldType::Text, 0});
    std::string json;
    {
        // A block of rows of text fields is exactly an array of arrays of texts and nulls.
        wire::PacketWriter w(json);
        w.beginRows(fields);
        for (std::size_t r = 0; r < m_rows; ++r) {
            w.beginRow();
            for (std::size_t i = 0; i < m_width; ++i) {
                const auto& v = m_cells[r * m_width + i];
                if (v)
                    w.text(*v);
                else
                    w.null();
            }
            w.endRow();
        }
        w.end();
    }
    st.bindText(index, json);
    return index + 1;
}

} // namespace cht::server
