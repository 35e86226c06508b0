// Columnar row store. The decoder fills it directly and the client data set adopts it, so a
// 100,000-row packet is parsed once and never copied value by value. Texts of a column share
// one arena; each cell keeps an offset and a length.
#pragma once

#include "FieldDef.h"
#include "cht_wire_export.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace cht::wire {

class CHT_WIRE_EXPORT ColumnTable {
public:
    ColumnTable() = default;
    /// Throws WireError for an empty or repeated field name.
    explicit ColumnTable(std::vector<FieldDef> fields);

    const std::vector<FieldDef>& fields() const { return m_fields; }
    std::size_t columnCount() const { return m_fields.size(); }
    std::size_t rowCount() const { return m_rows; }
    /// Index of the named field (exact, case-insensitive as field names are), or -1.
    int indexOf(std::string_view name) const;

    /// Appends a row of nulls and returns its index.
    std::size_t appendRow();
    /// Drops the last row (one being built that turned out wrong).
    void popRow();
    void reserveRows(std::size_t rows);

    bool isNull(std::size_t row, std::size_t col) const;
    /// Text of a text cell (empty for null); for other types, call the typed getters.
    std::string_view text(std::size_t row, std::size_t col) const;
    /// Number of a date-time or float cell (an integer cell converts); 0 for null.
    double number(std::size_t row, std::size_t col) const;
    /// Integer of an integer cell; 0 for null.
    std::int64_t integer(std::size_t row, std::size_t col) const;
    Value value(std::size_t row, std::size_t col) const;

    void setNull(std::size_t row, std::size_t col);
    /// Stores a text, cut to the field's size in characters (not bytes). Invalid UTF-8 throws.
    void setText(std::size_t row, std::size_t col, std::string_view utf8);
    /// Date-time and float cells; an integer cell takes only a whole number. Non-finite throws.
    void setNumber(std::size_t row, std::size_t col, double v);
    void setInteger(std::size_t row, std::size_t col, std::int64_t v);
    /// Stores a value; throws WireError naming the field when its kind does not fit the type.
    void setValue(std::size_t row, std::size_t col, const Value& v);

    /// Sets cells 0, 1, ... of `row` from the cells of row `fromRow` of `from` in its columns
    /// `columns`, which must have the same types. Texts are copied as they lie, already checked,
    /// unless this side's field is narrower.
    void copyCells(std::size_t row, const ColumnTable& from, std::size_t fromRow,
                   std::span<const std::size_t> columns);
    /// Appends the rows of `other`, whose fields must be this table's (a list decoded in pieces).
    void appendTable(const ColumnTable& other);
    /// Moves column `from` of `other` (same row count) to the end of this table; `other` loses it.
    void adoptColumn(ColumnTable& other, std::size_t from);
    /// Frees unused capacity (after a load) and drops text bytes that edits left behind.
    void shrinkToFit();
    /// Bytes held by the store, for memory accounting.
    std::size_t memoryBytes() const;

private:
    struct Column {
        std::vector<char> arena;            // texts
        std::vector<std::uint32_t> offset;  // texts: start in arena
        std::vector<std::uint32_t> length;  // texts: byte length; kNullLength is null
        std::vector<double> numbers;        // date-time and float
        std::vector<std::int64_t> integers; // integer
        std::vector<std::uint8_t> nulls;    // numbers and integers: 1 when null
    };
    static constexpr std::uint32_t kNullLength = 0xFFFFFFFFu;

    void check(std::size_t row, std::size_t col) const;
    void storeText(Column& c, std::size_t row, std::string_view bytes);
    static void appendNull(Column& c, FieldType type);

    std::vector<FieldDef> m_fields;
    std::vector<Column> m_columns;
    std::size_t m_rows = 0;

    friend class PacketDecoder;
};

} // namespace cht::wire
