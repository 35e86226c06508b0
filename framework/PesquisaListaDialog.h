// The pick list's dialog: the rows of a data set with a tick each, a search box that narrows
// them as the operator types, mark-all and unmark-all over the rows on view, OK and Cancel.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QLabel;
class QLineEdit;
class QTableView;

namespace cht::framework {

class PickListModel;

class PesquisaListaDialog : public QDialog {
public:
    /// Takes `model` as its child.
    PesquisaListaDialog(const QString& title, PickListModel* model, bool singleSelection,
                        QWidget* parent);

    /// Keys of the ticked rows, in the rows' order.
    QStringList checkedKeys() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showCounts();

    PickListModel* m_model;
    QTableView* m_view;
    QLineEdit* m_search;
    QLabel* m_counts;
};

} // namespace cht::framework
