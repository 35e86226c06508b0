// The change log of a client data set (internal to the library): which stored rows were
// inserted, changed or deleted since the load or the last merge, and their saved values.
#pragma once

#include "platform/wire/ColumnTable.h"
#include "platform/wire/DeltaPacket.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace cht::platform {

// Per changed storage row, only the saved values of the cells that posts overwrote are kept:
// every other cell's saved value is its current value. A post of one field therefore costs one
// saved cell, and the delta is built from the changed rows alone. Rows are storage rows of the
// table the data set holds; the log never changes the table.
class ChangeLog {
public:
    /// Posts and deletes logged since the load or the last merge.
    int count() const { return m_count; }

    /// A post of an existing row, logged before the cells of `columns` are overwritten: a cell's
    /// first overwrite keeps its value as the saved one.
    void logUpdate(const wire::ColumnTable& table, std::size_t row,
                   std::span<const std::uint32_t> columns);
    /// A post of a row just appended to the table.
    void logInsert(const wire::ColumnTable& table, std::size_t row);
    void logDelete(const wire::ColumnTable& table, std::size_t row);

    /// Saved value of a cell: as loaded or last merged; null for a row inserted since.
    wire::Value savedValue(const wire::ColumnTable& table, std::size_t row,
                           std::size_t column) const;
    /// The changed rows in order of first change, each with its saved and its current values; a
    /// row inserted and deleted again is left out. With key columns, the delta carries them and
    /// the columns whose value changed in some row (every column when a row was inserted or
    /// deleted): a tick over 100,000 rows sends the key and the tick, not whole rows.
    wire::DeltaPacket delta(const wire::ColumnTable& table,
                            std::span<const std::size_t> keyColumns = {}) const;

    /// Current values become the saved values. The storage stays for the next changes.
    void merge();
    /// Forgets everything and frees the storage, for a new set of rows.
    void reset();

    /// Bytes held by the log, for memory accounting.
    std::size_t memoryBytes() const;

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    struct RowChange {
        std::uint32_t row = 0;
        std::uint32_t firstSaved = kNone; // head of this row's list in m_saved
        bool inserted = false;
        bool deleted = false;
    };
    struct SavedCell {
        std::uint32_t next = kNone;
        std::uint32_t col = 0;
        wire::Value value;
    };

    RowChange& changeFor(std::size_t row, std::size_t rowCount);
    const wire::Value* savedCell(const RowChange& rc, std::size_t col) const;

    std::vector<RowChange> m_changes; // in order of first change
    std::vector<SavedCell> m_saved;
    std::vector<std::uint32_t> m_changeOf; // storage row -> index in m_changes, or kNone
    int m_count = 0;
};

} // namespace cht::platform
