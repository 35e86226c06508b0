// The client data set: an in-memory table with persistent fields, a cursor, edit states, a change
// log with saved values, and counted disabling of the controls that show it.
#pragma once

#include "cht_platform_export.h"
#include "platform/dataset/Field.h"
#include "platform/wire/Wire.h"

#include <QString>

#include <functional>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace cht::platform {

class TDataSource;

enum class DataSetState { Inactive, Browse, Edit, Insert };

/// Raised by the data set for misuse (posting while browsing, an unknown field, a packet that does
/// not fit the persistent fields). The message is Portuguese and names the field where one is at
/// fault.
class CHT_PLATFORM_EXPORT DataSetError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class CHT_PLATFORM_EXPORT TClientDataSet {
public:
    using Event = std::function<void(TClientDataSet&)>;

    explicit TClientDataSet(QString name = {});
    ~TClientDataSet();
    TClientDataSet(const TClientDataSet&) = delete;
    TClientDataSet& operator=(const TClientDataSet&) = delete;

    const QString& name() const { return m_name; }

    // --- persistent fields (defined before opening; the set owns them) ---
    /// Defines a field; returns it so that a screen can keep it as a named member.
    TField& addField(const QString& name, wire::FieldType type, int size = 0);
    TField* findField(const QString& name) const;
    /// Throws DataSetError naming the field when there is none of that name.
    TField& fieldByName(const QString& name) const;
    int fieldCount() const;
    TField& field(int index) const;

    // --- opening and loading ---
    /// Opens with no rows (the fields as defined): before-open, after-open, after-scroll.
    void open();
    /// Closes, dropping the rows and the change log; an open edit is discarded without events.
    void close();
    bool active() const { return m_state != DataSetState::Inactive; }
    /// Loads a packet: every row replaced, the change log and any open edit discarded, the set
    /// closed and reopened (before-open, after-open, after-scroll, also when empty), the first row
    /// current. Columns map to the persistent fields by name, without regard to case, and are
    /// adopted without copying; extra columns are ignored, integers are taken for a float field.
    /// A packet lacking a persistent field, or carrying one of another type, throws DataSetError
    /// naming the field and leaves the set as it was. With no persistent fields, the packet's
    /// fields become the fields (made anew when a later packet brings other fields).
    void loadFromPacket(wire::ColumnTable packet);
    /// Decodes, then loads; a malformed packet throws wire::WireError and changes nothing.
    void loadFromPacket(std::string_view json);
    /// Data packet of the current rows, for sending (a key packet is one).
    std::string dataPacket() const;
    /// Empties the rows (the set stays open), discarding the change log.
    void emptyDataSet();

    // --- cursor: each move first ends an open edit as checkBrowseMode does ---
    /// first and last fire after-scroll always, the other moves only when the row changes.
    void first();
    void next();
    void prior();
    void last();
    /// Moves to a record number (1-based); out of range is clamped.
    void setRecNo(int recNo);
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    /// 1-based number of the current row; 0 when there is none.
    int recNo() const;
    int recordCount() const;
    /// A closed set counts as empty.
    bool isEmpty() const;

    // --- states ---
    DataSetState state() const { return m_state; }
    /// Throws DataSetError on a closed or empty set; nothing happens while editing already.
    void edit();
    /// Starts a new row after the last one (after-scroll fires); post adds it to the rows.
    void append();
    /// before-post (an exception there keeps the edit open), the row written and logged (an edit
    /// that wrote no field logs nothing), browse, after-post. Nothing happens in browse state.
    void post();
    /// Drops the open edit or insertion; after-cancel fires even when nothing was written.
    void cancel();
    /// Deletes the current row (logged) and fires after-scroll; during an insertion, cancels it.
    void deleteRecord();

    // --- change log ---
    bool logChanges = true;
    /// Number of posts and deletes logged since the load or the last merge.
    int changeCount() const;
    /// The changed rows only, each with its saved and its current values.
    wire::DeltaPacket delta() const;
    std::string deltaPacket() const;
    /// Current values become the saved values; the change count returns to 0.
    void mergeChangeLog();

    // --- controls ---
    /// Counted: each disable is undone by exactly one enable; enabling when nothing is disabled
    /// does nothing. On the last enable the controls refresh once.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disableCount > 0; }

    /// True while an edit or insertion holds a value written since it began.
    bool modified() const;
    /// Ends a pending edit or insertion as leaving the row does: posts it when modified, cancels
    /// it otherwise. Nothing happens in browse state.
    void checkBrowseMode();
    /// Bytes held by the rows, the change log and the edit buffer, for memory accounting.
    std::size_t memoryBytes() const;

    /// Record (1-based) that field reads see instead of the current one while a grid draws
    /// other rows; 0 returns to the current record. Moves nothing and fires no event.
    void setActiveRecord(int recNo) { m_activeRecord = recNo; }
    int activeRecord() const { return m_activeRecord; }

    // --- events: plain handlers, detachable by assigning an empty function ---
    Event beforeOpen, afterOpen, afterScroll, beforePost, afterPost, afterCancel;

    // --- cell access for fields and controls ---
    /// Storage row of a record number (1-based), for controls that draw many rows.
    std::size_t storageRow(int recNo) const;
    const wire::ColumnTable& table() const { return m_table; }
    /// Value of a field at a record (1-based) without moving the cursor; the current row's edit
    /// buffer is honoured.
    wire::Value valueAt(int recNo, int fieldIndex) const;

    /// Saved value of a field at a record (1-based): as loaded or last merged; null for a row
    /// inserted since.
    wire::Value oldValueAt(int recNo, int fieldIndex) const;

    // Used by TField; they read the active record when one is set, else the current one.
    wire::Value currentValue(int fieldIndex) const;
    wire::Value oldValue(int fieldIndex) const;
    void setCurrentValue(int fieldIndex, const wire::Value& v);

    // Used by TDataSource.
    void attach(TDataSource* source);
    void detach(TDataSource* source);

private:
    struct Impl;
    void notifyDataChanged();
    void notifyRecordChanged();
    void notifyScrolled();
    void notifyStateChanged();
    void setState(DataSetState s);
    void checkActive(const char* what) const;
    void scrolledTo(int index, bool fireScroll);
    void discardEdit();
    void resetRows(wire::ColumnTable table);
    void openRows();
    std::vector<wire::FieldDef> fieldDefs() const;
    std::size_t storageOf(int index) const;
    int rowsInOrder() const;

    int m_activeRecord = 0; // see setActiveRecord
    QString m_name;
    std::vector<std::unique_ptr<TField>> m_fields;
    wire::ColumnTable m_table;
    std::vector<std::uint32_t> m_order; // record -> storage row; empty while they are the same
    int m_current = -1;                 // record index (0-based) of the current row
    bool m_eof = true, m_bof = true;
    DataSetState m_state = DataSetState::Inactive;
    int m_disableCount = 0;
    std::vector<TDataSource*> m_sources;
    std::unique_ptr<Impl> m_impl; // edit buffer and change log
};

} // namespace cht::platform
