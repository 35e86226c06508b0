#include "framework/PesquisaListaDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace cht::framework {

PesquisaListaDialog::PesquisaListaDialog(const QString& title, const QStringList& headers,
                                         const std::vector<QStringList>& rows,
                                         const QStringList& keys, const QStringList& selected,
                                         bool singleSelection, QWidget* parent)
    : QDialog(parent), m_model(new QStandardItemModel(this)),
      m_proxy(new QSortFilterProxyModel(this)), m_view(new QTableView(this)),
      m_search(new QLineEdit(this)), m_keys(keys), m_single(singleSelection)
{
    setObjectName(QStringLiteral("PesquisaLista"));
    setWindowTitle(title);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(620, 420);

    QStringList columns = headers;
    columns.prepend(QString());
    m_model->setHorizontalHeaderLabels(columns);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        QList<QStandardItem*> items;
        auto* tick = new QStandardItem;
        tick->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        const bool on = r < static_cast<std::size_t>(keys.size()) &&
                        selected.contains(keys[static_cast<qsizetype>(r)]);
        tick->setData(on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
        items << tick;
        for (const QString& text : rows[r]) {
            auto* item = new QStandardItem(text);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            items << item;
        }
        m_model->appendRow(items);
    }

    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->setFilterKeyColumn(-1);

    m_view->setObjectName(QStringLiteral("grdLista"));
    m_view->setModel(m_proxy);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->resizeColumnsToContents();
    connect(m_view, &QTableView::clicked, this,
            [this](const QModelIndex& index) { toggleRow(m_proxy->mapToSource(index).row()); });

    m_search->setObjectName(QStringLiteral("edtPesquisa"));
    m_search->setPlaceholderText(QStringLiteral("Digite para filtrar a lista"));
    m_search->setClearButtonEnabled(true);
    connect(m_search, &QLineEdit::textChanged, m_proxy,
            [this](const QString& text) { m_proxy->setFilterFixedString(text); });

    auto* markAll = new QPushButton(QStringLiteral("Marcar todos"), this);
    markAll->setObjectName(QStringLiteral("btnMarcarTodos"));
    markAll->setAutoDefault(false);
    markAll->setEnabled(!m_single);
    auto* unmarkAll = new QPushButton(QStringLiteral("Desmarcar todos"), this);
    unmarkAll->setObjectName(QStringLiteral("btnDesmarcarTodos"));
    unmarkAll->setAutoDefault(false);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setAutoDefault(false);
    auto* cancel = new QPushButton(QStringLiteral("Cancelar"), this);
    cancel->setObjectName(QStringLiteral("btnCancelar"));
    cancel->setAutoDefault(false);
    connect(
        markAll, &QPushButton::clicked, this, [this] { setShownChecked(true); });
    connect(unmarkAll, &QPushButton::clicked, this, [this] { setShownChecked(false); });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* root = new QVBoxLayout(this);
    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(new QLabel(QStringLiteral("Pesquisar:"), this));
    searchRow->addWidget(m_search, 1);
    root->addLayout(searchRow);
    root->addWidget(m_view, 1);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(markAll);
    buttonRow->addWidget(unmarkAll);
    buttonRow->addStretch(1);
    buttonRow->addWidget(ok);
    buttonRow->addWidget(cancel);
    root->addLayout(buttonRow);
    m_search->setFocus();
}

void PesquisaListaDialog::toggleRow(int sourceRow)
{
    QStandardItem* tick = m_model->item(sourceRow, 0);
    if (!tick)
        return;
    const bool on = tick->data(Qt::CheckStateRole).toInt() != Qt::Checked;
    if (on && m_single)
        for (int r = 0; r < m_model->rowCount(); ++r)
            m_model->item(r, 0)->setData(Qt::Unchecked, Qt::CheckStateRole);
    tick->setData(on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
}

void PesquisaListaDialog::setShownChecked(bool checked)
{
    // Only the rows the search leaves on view.
    for (int r = 0; r < m_proxy->rowCount(); ++r) {
        const int source = m_proxy->mapToSource(m_proxy->index(r, 0)).row();
        m_model->item(source, 0)->setData(checked ? Qt::Checked : Qt::Unchecked,
                                          Qt::CheckStateRole);
    }
}

QStringList PesquisaListaDialog::checkedKeys() const
{
    QStringList picked;
    for (int r = 0; r < m_model->rowCount() && r < m_keys.size(); ++r)
        if (m_model->item(r, 0)->data(Qt::CheckStateRole).toInt() == Qt::Checked)
            picked << m_keys[r];
    return picked;
}

void PesquisaListaDialog::keyPressEvent(QKeyEvent* event)
{
    // Space ticks the current row; Enter confirms even from the search box.
    if (event->key() == Qt::Key_Space && m_view->hasFocus() && m_view->currentIndex().isValid()) {
        toggleRow(m_proxy->mapToSource(m_view->currentIndex()).row());
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace cht::framework
