#include "platform/widgets/TDBGridModel.h"

#include "platform/dataset/ClientDataSet.h"
#include "platform/dataset/Field.h"
#include "platform/widgets/TDBGrid.h"

namespace cht::platform {

TDBGridModel::TDBGridModel(TDBGrid& grid) : QAbstractTableModel(&grid), m_grid(grid) {}

int TDBGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TDBGridModel::liveRowCount() const
{
    TClientDataSet* ds = m_grid.dataSet();
    return ds && ds->active() ? ds->recordCount() : 0;
}

int TDBGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_grid.shownColumns().size());
}

QVariant TDBGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.column() >= columnCount())
        return {};
    TColumn& column = m_grid.column(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        TClientDataSet* ds = m_grid.dataSet();
        TField* f = column.field();
        if (!ds || !f)
            return QString();
        const int recNo = index.row() + 1;
        const int saved = ds->activeRecord();
        ds->setActiveRecord(recNo == ds->recNo() ? 0 : recNo);
        QString text;
        try {
            text = role == Qt::EditRole ? f->text() : f->displayText();
        } catch (...) {
            text.clear(); // a failing get-text hook shows an empty cell
        }
        ds->setActiveRecord(saved);
        return text;
    }
    case Qt::TextAlignmentRole:
        return static_cast<int>(column.alignment());
    case Qt::FontRole:
        return column.font();
    default:
        return {};
    }
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= columnCount())
            return {};
        TColumn& column = m_grid.column(section);
        switch (role) {
        case Qt::DisplayRole:
            return column.titleImage().isNull() ? column.title() : QString();
        case Qt::DecorationRole:
            return column.titleImage().isNull() ? QVariant() : QVariant(column.titleImage());
        case Qt::FontRole:
            return column.titleFont();
        case Qt::ForegroundRole:
            return column.titleColor();
        case Qt::TextAlignmentRole:
            return static_cast<int>(column.titleAlignment());
        default:
            return {};
        }
    }
    if (role != Qt::DisplayRole)
        return {};
    // The indicator marks the current record: an arrow, or the edit/insert state.
    TClientDataSet* ds = m_grid.dataSet();
    if (!ds || section + 1 != ds->recNo())
        return QString();
    switch (ds->state()) {
    case DataSetState::Edit:
        return QStringLiteral("I");
    case DataSetState::Insert:
        return QStringLiteral("*");
    default:
        return QStringLiteral("\u25B6");
    }
}

Qt::ItemFlags TDBGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_grid.canEditColumn(index.column()))
        f |= Qt::ItemIsEditable;
    return f;
}

void TDBGridModel::reset()
{
    beginResetModel();
    m_rows = liveRowCount();
    endResetModel();
}

void TDBGridModel::replaceRows()
{
    const int now = liveRowCount();
    if (now < m_rows) {
        beginRemoveRows({}, now, m_rows - 1);
        m_rows = now;
        endRemoveRows();
    } else if (now > m_rows) {
        beginInsertRows({}, m_rows, now - 1);
        m_rows = now;
        endInsertRows();
    }
    if (m_rows > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1));
}

void TDBGridModel::recordChanged(int recNo)
{
    if (liveRowCount() != m_rows) {
        replaceRows();
        return;
    }
    if (recNo < 1 || recNo > rowCount() || columnCount() == 0)
        return;
    emit dataChanged(index(recNo - 1, 0), index(recNo - 1, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, recNo - 1, recNo - 1);
}

void TDBGridModel::headersChanged()
{
    if (columnCount() > 0)
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    if (rowCount() > 0)
        emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
}

} // namespace cht::platform
