// The pick list's rows: the records of a data set with a tick each, narrowed by a search text.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cht::platform {
class TClientDataSet;
class TField;
} // namespace cht::platform

namespace cht::framework {

/// Appends `utf8` to `out` as the pick list's search compares texts: letters in lower case and
/// without accents, punctuation dropped (so "12.345.678/0001-95" reads as its digits), digits and
/// spaces kept.
void appendSearchText(std::string_view utf8, std::string& out);

/// Column 0 is the tick; the others are the shown fields, whose texts are read only for the rows
/// on view (through the fields' get-text hooks, at the row they belong to, without moving the
/// cursor). A hundred thousand records cost a byte each for the ticks until the first search,
/// which keeps one folded copy of the searched texts.
class PickListModel : public QAbstractTableModel {
public:
    /// `shown` are the fields of the columns; the key field and the shown fields are searched.
    /// Records whose key is in `selected` start ticked.
    PickListModel(cht::platform::TClientDataSet& dataSet, cht::platform::TField& key,
                  std::vector<cht::platform::TField*> shown, const QStringList& selected,
                  bool singleSelection, QObject* parent = nullptr);
    ~PickListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    /// Shows only the records whose searched texts contain `text` (compared as appendSearchText
    /// folds them); an empty text shows every record.
    void narrow(const QString& text);
    /// Flips the tick of a shown row; in single selection, ticking clears the others.
    void toggle(int row);
    /// Ticks or clears every shown row.
    void setShownChecked(bool checked);

    /// Keys of the ticked records, in the records' order.
    QStringList checkedKeys() const;
    int recordCount() const { return m_records; }
    int checkedCount() const { return m_checkedCount; }
    /// Width in characters of a field column.
    int columnChars(int column) const;

private:
    int recordOf(int row) const;
    /// Stored text of a field at a record (0-based), as UTF-8 in `scratch` when it is not a text
    /// cell that can be read in place.
    std::string_view storedText(int record, const cht::platform::TField& f,
                                std::string& scratch) const;
    void buildSearchIndex();

    cht::platform::TClientDataSet& m_ds;
    cht::platform::TField& m_key;
    std::vector<cht::platform::TField*> m_shown;
    bool m_single;
    int m_records = 0;
    std::vector<std::uint8_t> m_ticked; // per record
    int m_checkedCount = 0;

    bool m_narrowed = false;  // m_rows applies; otherwise every record is a row
    std::vector<int> m_rows;  // records on view, in order
    std::string m_needle;     // folded search text of m_rows
    std::string m_searchText; // folded searched texts of every record, one after another
    std::vector<std::uint32_t> m_searchStart; // per record, and one past the last
};

} // namespace cht::framework
