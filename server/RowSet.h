// The rows of one call (10,000 keys, audit rows) as a table that one statement reads: a few
// statements per call instead of a few per row.
#pragma once

#include "SqlConnection.h"

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace cht::server {

/// Rows of texts (or nulls) that a statement reads as the table "R", with the columns pos (from
/// 0, in the order the rows were added) and c0, c1, ... On SQLite the rows go into a temporary
/// table of the connection, one prepared insert each (no constraint, index or journal work, and
/// cheaper than running the change itself once per row); on PostgreSQL they travel as one JSON
/// array bound to the statement (no round trip per row).
class RowSet {
public:
    /// `name` names the temporary table on SQLite: one per kind of rows.
    RowSet(std::string name, std::size_t width);

    /// One row of `width` values; a null pointer is a null.
    void add(std::initializer_list<const std::string*> row);
    std::size_t size() const { return m_rows; }

    /// The table as a FROM clause names it, "... R". On PostgreSQL it holds one "?", which
    /// bind() fills.
    std::string from(Dialect d) const;
    /// Makes the rows readable by the statements of this transaction on this connection (SQLite
    /// fills its temporary table); call it before them.
    void write(SqlConnection& c) const;
    /// Binds the rows at the "?" of from() (PostgreSQL); returns the next parameter's index.
    int bind(SqlConnection& c, SqlStatement& st, int index) const;

private:
    std::string m_name;
    std::size_t m_width;
    std::size_t m_rows = 0;
    std::vector<std::optional<std::string>> m_cells; // row by row
};

} // namespace cht::server
