#include "ColumnTable.h"

#include "Messages.h"
#include "Utf8.h"
#include "WireError.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

namespace cht::wire {

namespace {

bool isNumeric(FieldType t)
{
    return t == FieldType::DateTime || t == FieldType::Float;
}

template <class T> std::size_t bytesOf(const std::vector<T>& v)
{
    return v.capacity() * sizeof(T);
}

} // namespace

ColumnTable::ColumnTable(std::vector<FieldDef> fields) : m_fields(std::move(fields))
{
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].name.empty())
            throw WireError("Campo sem nome na posição " + std::to_string(i + 1) + ".");
        for (std::size_t j = 0; j < i; ++j)
            if (sameFieldName(m_fields[i].name, m_fields[j].name))
                throw WireError("Campo repetido: " + inQuotes(m_fields[i].name) + ".");
    }
    m_columns.resize(m_fields.size());
}

int ColumnTable::indexOf(std::string_view name) const
{
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (sameFieldName(m_fields[i].name, name))
            return static_cast<int>(i);
    return -1;
}

void ColumnTable::appendNull(Column& c, FieldType type)
{
    switch (type) {
    case FieldType::Text:
        c.offset.push_back(0);
        c.length.push_back(kNullLength);
        break;
    case FieldType::DateTime:
    case FieldType::Float:
        c.numbers.push_back(0.0);
        c.nulls.push_back(1);
        break;
    case FieldType::Integer:
        c.integers.push_back(0);
        c.nulls.push_back(1);
        break;
    }
}

std::size_t ColumnTable::appendRow()
{
    for (std::size_t i = 0; i < m_columns.size(); ++i)
        appendNull(m_columns[i], m_fields[i].type);
    return m_rows++;
}

void ColumnTable::popRow()
{
    if (m_rows == 0)
        throw std::out_of_range("ColumnTable: não há linha a retirar");
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        Column& c = m_columns[i];
        if (m_fields[i].type == FieldType::Text) {
            c.offset.pop_back();
            c.length.pop_back();
        } else {
            if (m_fields[i].type == FieldType::Integer)
                c.integers.pop_back();
            else
                c.numbers.pop_back();
            c.nulls.pop_back();
        }
    }
    --m_rows;
}

void ColumnTable::copyCells(std::size_t row, const ColumnTable& from, std::size_t fromRow,
                            std::span<const std::size_t> columns)
{
    if (columns.size() > m_fields.size())
        throw WireError("Colunas demais para a tabela de destino.");
    for (std::size_t col = 0; col < columns.size(); ++col) {
        const std::size_t src = columns[col];
        from.check(fromRow, src);
        check(row, col);
        const FieldDef& f = m_fields[col];
        const FieldDef& g = from.m_fields[src];
        if (f.type != g.type)
            throw WireError("O campo " + inQuotes(g.name) + " não tem o tipo do campo " +
                            inQuotes(f.name) + ".");
        const Column& s = from.m_columns[src];
        Column& c = m_columns[col];
        switch (f.type) {
        case FieldType::Text: {
            const std::uint32_t len = s.length[fromRow];
            if (len == kNullLength) {
                c.length[row] = kNullLength;
            } else {
                const std::string_view bytes(s.arena.data() + s.offset[fromRow], len);
                if (f.size != 0 && (g.size == 0 || g.size > f.size))
                    storeText(c, row, cutToChars(bytes, f.size));
                else
                    storeText(c, row, bytes);
            }
            break;
        }
        case FieldType::DateTime:
        case FieldType::Float:
            c.numbers[row] = s.numbers[fromRow];
            c.nulls[row] = s.nulls[fromRow];
            break;
        case FieldType::Integer:
            c.integers[row] = s.integers[fromRow];
            c.nulls[row] = s.nulls[fromRow];
            break;
        }
    }
}

void ColumnTable::reserveRows(std::size_t rows)
{
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        Column& c = m_columns[i];
        switch (m_fields[i].type) {
        case FieldType::Text:
            c.offset.reserve(rows);
            c.length.reserve(rows);
            break;
        case FieldType::DateTime:
        case FieldType::Float:
            c.numbers.reserve(rows);
            c.nulls.reserve(rows);
            break;
        case FieldType::Integer:
            c.integers.reserve(rows);
            c.nulls.reserve(rows);
            break;
        }
    }
}

void ColumnTable::check(std::size_t row, std::size_t col) const
{
    if (row >= m_rows || col >= m_fields.size())
        throw std::out_of_range("ColumnTable: linha " + std::to_string(row) + ", coluna " +
                                std::to_string(col) + " fora da tabela");
}

bool ColumnTable::isNull(std::size_t row, std::size_t col) const
{
    check(row, col);
    const Column& c = m_columns[col];
    if (m_fields[col].type == FieldType::Text)
        return c.length[row] == kNullLength;
    return c.nulls[row] != 0;
}

std::string_view ColumnTable::text(std::size_t row, std::size_t col) const
{
    check(row, col);
    if (m_fields[col].type != FieldType::Text)
        throw WireError("O campo " + inQuotes(m_fields[col].name) + " não é de texto.");
    const Column& c = m_columns[col];
    const std::uint32_t len = c.length[row];
    if (len == kNullLength)
        return {};
    return {c.arena.data() + c.offset[row], len};
}

double ColumnTable::number(std::size_t row, std::size_t col) const
{
    check(row, col);
    const FieldType t = m_fields[col].type;
    if (isNumeric(t))
        return m_columns[col].numbers[row];
    if (t == FieldType::Integer)
        return static_cast<double>(m_columns[col].integers[row]);
    throw WireError("O campo " + inQuotes(m_fields[col].name) + " não é numérico.");
}

std::int64_t ColumnTable::integer(std::size_t row, std::size_t col) const
{
    check(row, col);
    if (m_fields[col].type != FieldType::Integer)
        throw WireError("O campo " + inQuotes(m_fields[col].name) + " não é inteiro.");
    return m_columns[col].integers[row];
}

Value ColumnTable::value(std::size_t row, std::size_t col) const
{
    if (isNull(row, col))
        return std::monostate{};
    switch (m_fields[col].type) {
    case FieldType::Text:
        return std::string(text(row, col));
    case FieldType::DateTime:
    case FieldType::Float:
        return m_columns[col].numbers[row];
    case FieldType::Integer:
        return m_columns[col].integers[row];
    }
    return std::monostate{};
}

void ColumnTable::setNull(std::size_t row, std::size_t col)
{
    check(row, col);
    Column& c = m_columns[col];
    if (m_fields[col].type == FieldType::Text) {
        c.length[row] = kNullLength;
        return;
    }
    c.nulls[row] = 1;
    if (m_fields[col].type == FieldType::Integer)
        c.integers[row] = 0;
    else
        c.numbers[row] = 0.0;
}

void ColumnTable::storeText(Column& c, std::size_t row, std::string_view bytes)
{
    // A text taken from this very arena must be copied before the arena moves under it.
    if (!bytes.empty() && !c.arena.empty() && bytes.data() >= c.arena.data() &&
        bytes.data() < c.arena.data() + c.arena.size()) {
        const std::string copy(bytes);
        storeText(c, row, copy);
        return;
    }
    const std::uint32_t old = c.length[row];
    // An edit that fits where the old text was reuses its bytes, so edits do not grow the arena.
    if (old != kNullLength && bytes.size() <= old) {
        if (!bytes.empty())
            std::memcpy(c.arena.data() + c.offset[row], bytes.data(), bytes.size());
        c.length[row] = static_cast<std::uint32_t>(bytes.size());
        return;
    }
    const std::size_t at = c.arena.size();
    if (at + bytes.size() >= kNullLength)
        throw WireError("Textos demais numa coluna: o limite de 4 GB foi atingido.");
    c.arena.insert(c.arena.end(), bytes.begin(), bytes.end());
    c.offset[row] = static_cast<std::uint32_t>(at);
    c.length[row] = static_cast<std::uint32_t>(bytes.size());
}

void ColumnTable::setText(std::size_t row, std::size_t col, std::string_view utf8)
{
    check(row, col);
    const FieldDef& f = m_fields[col];
    if (f.type != FieldType::Text)
        throw WireError("O campo " + inQuotes(f.name) + " não é de texto.");
    if (!isValidUtf8(utf8))
        throw WireError("Texto com UTF-8 inválido no campo " + inQuotes(f.name) + ".");
    storeText(m_columns[col], row, f.size ? cutToChars(utf8, f.size) : utf8);
}

void ColumnTable::setNumber(std::size_t row, std::size_t col, double v)
{
    check(row, col);
    const FieldDef& f = m_fields[col];
    if (!std::isfinite(v))
        throw WireError("Valor numérico inválido no campo " + inQuotes(f.name) + ".");
    Column& c = m_columns[col];
    if (isNumeric(f.type)) {
        c.numbers[row] = v;
        c.nulls[row] = 0;
        return;
    }
    if (f.type == FieldType::Integer) {
        // 2^63 is exact in a double; the range is [-2^63, 2^63).
        if (v != std::trunc(v) || v < -9223372036854775808.0 || v >= 9223372036854775808.0)
            throw WireError("O campo " + inQuotes(f.name) + " só aceita números inteiros.");
        c.integers[row] = static_cast<std::int64_t>(v);
        c.nulls[row] = 0;
        return;
    }
    throw WireError("O campo " + inQuotes(f.name) + " não aceita números.");
}

void ColumnTable::setInteger(std::size_t row, std::size_t col, std::int64_t v)
{
    check(row, col);
    const FieldDef& f = m_fields[col];
    Column& c = m_columns[col];
    if (f.type == FieldType::Integer) {
        c.integers[row] = v;
        c.nulls[row] = 0;
        return;
    }
    if (isNumeric(f.type)) {
        c.numbers[row] = static_cast<double>(v);
        c.nulls[row] = 0;
        return;
    }
    throw WireError("O campo " + inQuotes(f.name) + " não aceita números.");
}

void ColumnTable::setValue(std::size_t row, std::size_t col, const Value& v)
{
    check(row, col);
    if (std::holds_alternative<std::monostate>(v))
        setNull(row, col);
    else if (const auto* s = std::get_if<std::string>(&v)) {
        if (m_fields[col].type != FieldType::Text)
            throw WireError("O campo " + inQuotes(m_fields[col].name) + " não aceita texto.");
        setText(row, col, *s);
    } else if (const auto* d = std::get_if<double>(&v))
        setNumber(row, col, *d);
    else
        setInteger(row, col, std::get<std::int64_t>(v));
}

void ColumnTable::appendTable(const ColumnTable& other)
{
    if (other.m_fields.size() != m_fields.size())
        throw WireError("As tabelas a juntar têm campos diferentes.");
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (other.m_fields[i].type != m_fields[i].type ||
            !sameFieldName(other.m_fields[i].name, m_fields[i].name))
            throw WireError("As tabelas a juntar têm campos diferentes.");
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        Column& c = m_columns[i];
        const Column& o = other.m_columns[i];
        c.numbers.insert(c.numbers.end(), o.numbers.begin(), o.numbers.end());
        c.integers.insert(c.integers.end(), o.integers.begin(), o.integers.end());
        c.nulls.insert(c.nulls.end(), o.nulls.begin(), o.nulls.end());
        if (m_fields[i].type != FieldType::Text)
            continue;
        const std::size_t base = c.arena.size();
        if (base + o.arena.size() >= kNullLength)
            throw WireError("Textos demais no campo " + inQuotes(m_fields[i].name) + ".");
        c.arena.insert(c.arena.end(), o.arena.begin(), o.arena.end());
        const std::size_t at = c.offset.size();
        c.offset.insert(c.offset.end(), o.offset.begin(), o.offset.end());
        for (std::size_t r = at; r < c.offset.size(); ++r)
            c.offset[r] += static_cast<std::uint32_t>(base);
        c.length.insert(c.length.end(), o.length.begin(), o.length.end());
    }
    m_rows += other.m_rows;
}

void ColumnTable::adoptColumn(ColumnTable& other, std::size_t from)
{
    if (&other == this)
        throw WireError("Uma tabela não pode adotar a própria coluna.");
    if (from >= other.m_fields.size())
        throw WireError("Coluna " + std::to_string(from) + " inexistente na tabela de origem.");
    const bool empty = m_fields.empty() && m_rows == 0;
    if (!empty && other.m_rows != m_rows)
        throw WireError("As tabelas têm números de linhas diferentes (" + std::to_string(m_rows) +
                        " e " + std::to_string(other.m_rows) + ").");
    if (indexOf(other.m_fields[from].name) >= 0)
        throw WireError("Campo repetido: " + inQuotes(other.m_fields[from].name) + ".");
    const auto at = static_cast<std::ptrdiff_t>(from);
    m_fields.push_back(std::move(other.m_fields[from]));
    m_columns.push_back(std::move(other.m_columns[from]));
    other.m_fields.erase(other.m_fields.begin() + at);
    other.m_columns.erase(other.m_columns.begin() + at);
    if (empty)
        m_rows = other.m_rows;
}

void ColumnTable::shrinkToFit()
{
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        Column& c = m_columns[i];
        if (m_fields[i].type == FieldType::Text) {
            std::size_t live = 0;
            for (std::uint32_t len : c.length)
                if (len != kNullLength)
                    live += len;
            if (live < c.arena.size()) {
                std::vector<char> packed;
                packed.reserve(live);
                for (std::size_t r = 0; r < c.length.size(); ++r) {
                    if (c.length[r] == kNullLength)
                        continue;
                    const char* p = c.arena.data() + c.offset[r];
                    c.offset[r] = static_cast<std::uint32_t>(packed.size());
                    packed.insert(packed.end(), p, p + c.length[r]);
                }
                c.arena = std::move(packed);
            }
        }
        c.arena.shrink_to_fit();
        c.offset.shrink_to_fit();
        c.length.shrink_to_fit();
        c.numbers.shrink_to_fit();
        c.integers.shrink_to_fit();
        c.nulls.shrink_to_fit();
    }
}

std::size_t ColumnTable::memoryBytes() const
{
    std::size_t total = sizeof(*this) + bytesOf(m_fields) + bytesOf(m_columns);
    for (const FieldDef& f : m_fields)
        if (f.name.capacity() > 15)
            total += f.name.capacity();
    for (const Column& c : m_columns)
        total += bytesOf(c.arena) + bytesOf(c.offset) + bytesOf(c.length) + bytesOf(c.numbers) +
                 bytesOf(c.integers) + bytesOf(c.nulls);
    return total;
}

} // namespace cht::wire
