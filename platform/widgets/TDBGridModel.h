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
    /// Values of one record changed.
    void recordChanged(int recNo);
    /// Titles or the indicator changed.
    void headersChanged();

private:
    TDBGrid& m_grid;
};

} // namespace cht::platform
