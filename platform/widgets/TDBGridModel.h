// The grid's table model: rows are the data set's records, read on demand by record number.
#pragma once

#include <QAbstractTableModel>

namespace cht::platform {

class TDBGrid;

/// Nothing is cached: every call reads the data set, so a million rows cost no memory here.
class TDBGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TDBGridModel(TDBGrid& grid);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    /// Rows or columns replaced.
    void reset();
    /// Rows replaced under the same columns: the view hears of rows removed or added and of new
    /// values, and keeps its title row as it is.
    void replaceRows();
    /// Values of one record changed (a posted insert also adds its row).
    void recordChanged(int recNo);
    /// Titles or the indicator changed.
    void headersChanged();

private:
    int liveRowCount() const;

    TDBGrid& m_grid;
    // The rows the view knows of; they follow the data set at each reset or replacement.
    int m_rows = 0;
};

} // namespace cht::platform
