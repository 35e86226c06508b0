#include "platform/dataset/ChangeLog.h"

#include <utility>

namespace cht::platform {

ChangeLog::RowChange& ChangeLog::changeFor(std::size_t row, std::size_t rowCount)
{
    if (m_changeOf.size() < rowCount)
        m_changeOf.resize(rowCount, kNone);
    std::uint32_t& idx = m_changeOf[row];
    if (idx == kNone) {
        idx = static_cast<std::uint32_t>(m_changes.size());
        m_changes.push_back(RowChange{static_cast<std::uint32_t>(row), kNone, false, false});
    }
    return m_changes[idx];
}

const wire::Value* ChangeLog::savedCell(const RowChange& rc, std::size_t col) const
{
    for (std::uint32_t i = rc.firstSaved; i != kNone; i = m_saved[i].next)
        if (m_saved[i].col == col)
            return &m_saved[i].value;
    return nullptr;
}

void ChangeLog::logUpdate(const wire::ColumnTable& table, std::size_t row,
                          std::span<const std::uint32_t> columns)
{
    RowChange& rc = changeFor(row, table.rowCount());
    ++m_count;
    // A row inserted since has no saved values to keep.
    if (rc.inserted)
        return;
    for (const std::uint32_t col : columns) {
        if (savedCell(rc, col))
            continue;
        m_saved.push_back({rc.firstSaved, col, table.value(row, col)});
        rc.firstSaved = static_cast<std::uint32_t>(m_saved.size() - 1);
    }
}

void ChangeLog::logInsert(const wire::ColumnTable& table, std::size_t row)
{
    changeFor(row, table.rowCount()).inserted = true;
    ++m_count;
}

void ChangeLog::logDelete(const wire::ColumnTable& table, std::size_t row)
{
    changeFor(row, table.rowCount()).deleted = true;
    ++m_count;
}

wire::Value ChangeLog::savedValue(const wire::ColumnTable& table, std::size_t row,
                                  std::size_t column) const
{
    if (row < m_changeOf.size() && m_changeOf[row] != kNone) {
        const RowChange& rc = m_changes[m_changeOf[row]];
        if (rc.inserted)
            return {};
        if (const wire::Value* v = savedCell(rc, column))
            return *v;
    }
    return table.value(row, column);
}

wire::DeltaPacket ChangeLog::delta(const wire::ColumnTable& table,
                                   std::span<const std::size_t> keyColumns) const
{
    const std::size_t fields = table.columnCount();
    // Which columns travel: all of them, or the key and what changed.
    std::vector<std::size_t> columns;
    if (keyColumns.empty()) {
        for (std::size_t i = 0; i < fields; ++i)
            columns.push_back(i);
    } else {
        std::vector<bool> sent(fields, false);
        for (const std::size_t k : keyColumns)
            if (k < fields)
                sent[k] = true;
        for (const RowChange& rc : m_changes) {
            if (rc.inserted || rc.deleted) {
                sent.assign(fields, true);
                break;
            }
            for (std::uint32_t i = rc.firstSaved; i != kNone; i = m_saved[i].next)
                if (!sent[m_saved[i].col] &&
                    m_saved[i].value != table.value(rc.row, m_saved[i].col))
                    sent[m_saved[i].col] = true;
        }
        for (std::size_t i = 0; i < fields; ++i)
            if (sent[i])
                columns.push_back(i);
    }

    std::vector<wire::FieldDef> deltaFields;
    deltaFields.reserve(columns.size());
    for (const std::size_t c : columns)
        deltaFields.push_back(table.fields()[c]);
    wire::DeltaPacket out(std::move(deltaFields));
    out.reserve(m_changes.size());
    std::vector<std::size_t> position(fields, columns.size()); // column -> index in the delta
    for (std::size_t i = 0; i < columns.size(); ++i)
        position[columns[i]] = i;
    for (const RowChange& rc : m_changes) {
        if (rc.inserted && rc.deleted)
            continue;
        const wire::ChangeOp op = rc.inserted  ? wire::ChangeOp::Insert
                                  : rc.deleted ? wire::ChangeOp::Delete
                                               : wire::ChangeOp::Update;
        const std::size_t change = out.add(op);
        if (op != wire::ChangeOp::Insert) {
            out.before().copyCells(change, table, rc.row, columns);
            for (std::uint32_t i = rc.firstSaved; i != kNone; i = m_saved[i].next)
                if (position[m_saved[i].col] < columns.size())
                    out.before().setValue(change, position[m_saved[i].col], m_saved[i].value);
        }
        if (op != wire::ChangeOp::Delete)
            out.after().copyCells(change, table, rc.row, columns);
    }
    return out;
}

void ChangeLog::merge()
{
    // Only the rows that changed are cleared, so that merging after a few posts in a long list
    // stays cheap.
    for (const RowChange& rc : m_changes)
        if (rc.row < m_changeOf.size())
            m_changeOf[rc.row] = kNone;
    m_changes.clear();
    m_saved.clear();
    m_count = 0;
}

void ChangeLog::reset()
{
    // A new log, not `= {}` on each vector: that assigns an empty list and keeps the storage.
    *this = ChangeLog();
}

std::size_t ChangeLog::memoryBytes() const
{
    return m_changes.capacity() * sizeof(RowChange) + m_saved.capacity() * sizeof(SavedCell) +
           m_changeOf.capacity() * sizeof(std::uint32_t);
}

} // namespace cht::platform
