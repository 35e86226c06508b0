// The pick list's dialog: the rows of a data set with a tick each, a search box that filters
// them, mark-all and unmark-all, OK and Cancel.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <vector>

class QLineEdit;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;

namespace cht::framework {

class PesquisaListaDialog : public QDialog {
public:
    /// `rows` holds the shown texts of each row; `keys` the key of each row.
    PesquisaListaDialog(const QString& title, const QStringList& headers,
                        const std::vector<QStringList>& rows, const QStringList& keys,
                        const QStringList& selected, bool singleSelection, QWidget* parent);

    /// Keys of the ticked rows, in the rows' order.
    QStringList checkedKeys() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void toggleRow(int sourceRow);
    void setShownChecked(bool checked);

    QStandardItemModel* m_model;
    QSortFilterProxyModel* m_proxy;
    QTableView* m_view;
    QLineEdit* m_search;
    QStringList m_keys;
    bool m_single;
};

} // namespace cht::framework
