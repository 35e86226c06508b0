#include "framework/PesquisaListaDialog.h"

#include "framework/PickListModel.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace cht::framework {

PesquisaListaDialog::PesquisaListaDialog(const QString& title, PickListModel* model,
                                         bool singleSelection, QWidget* parent)
    : QDialog(parent), m_model(model), m_view(new QTableView(this)), m_search(new QLineEdit(this)),
      m_counts(new QLabel(this))
{
    setObjectName(QStringLiteral("PesquisaLista"));
    setWindowTitle(title);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_model->setParent(this);

    m_view->setObjectName(QStringLiteral("grdLista"));
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    // Fixed heights and widths: nothing is measured row by row, whatever the number of rows.
    QHeaderView* rows = m_view->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    QHeaderView* columns = m_view->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(true);
    const int charWidth = m_view->fontMetrics().averageCharWidth();
    int tableWidth = 0;
    for (int c = 0; c < m_model->columnCount(); ++c) {
        const int heading =
            m_view->fontMetrics().horizontalAdvance(
                m_model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString()) +
            16;
        const int width = c == 0 ? 28 : std::max(heading, m_model->columnChars(c) * charWidth + 12);
        m_view->setColumnWidth(c, width);
        tableWidth += width;
    }
    connect(m_view, &QTableView::clicked, this,
            [this](const QModelIndex& index) { m_model->toggle(index.row()); });
    m_view->installEventFilter(this);

    m_search->setObjectName(QStringLiteral("edtPesquisa"));
    m_search->setPlaceholderText(
        QStringLiteral("Digite parte do código, do número ou do nome para filtrar a lista"));
    m_search->setClearButtonEnabled(true);
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_model->narrow(text);
        showCounts();
    });
    m_counts->setObjectName(QStringLiteral("lblContagem"));

    auto* markAll = new QPushButton(QStringLiteral("Marcar todos"), this);
    markAll->setObjectName(QStringLiteral("btnMarcarTodos"));
    markAll->setToolTip(QStringLiteral("Marca todas as linhas mostradas"));
    markAll->setAutoDefault(false);
    markAll->setEnabled(!singleSelection);
    auto* unmarkAll = new QPushButton(QStringLiteral("Desmarcar todos"), this);
    unmarkAll->setObjectName(QStringLiteral("btnDesmarcarTodos"));
    unmarkAll->setToolTip(QStringLiteral("Desmarca todas as linhas mostradas"));
    unmarkAll->setAutoDefault(false);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setAutoDefault(false);
    auto* cancel = new QPushButton(QStringLiteral("Cancelar"), this);
    cancel->setObjectName(QStringLiteral("btnCancelar"));
    cancel->setAutoDefault(false);
    connect(markAll, &QPushButton::clicked, this, [this] {
        m_model->setShownChecked(true);
        showCounts();
    });
    connect(
        unmarkAll, &QPushButton::clicked, this,
        [this] {
            m_model->setShownChecked(false);
            showCounts();
        });
    connect(m_model, &QAbstractItemModel::dataChanged, this, [this] { showCounts(); });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* root = new QVBoxLayout(this);
    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(new QLabel(QStringLiteral("Pesquisar:"), this));
    searchRow->addWidget(m_search, 1);
    root->addLayout(searchRow);
    root->addWidget(m_view, 1);
    root->addWidget(m_counts);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(markAll);
    buttonRow->addWidget(unmarkAll);
    buttonRow->addStretch(1);
    buttonRow->addWidget(ok);
    buttonRow->addWidget(cancel);
    root->addLayout(buttonRow);

    int maxWidth = 1200;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        maxWidth = std::max(620, screen->availableGeometry().width() - 80);
    resize(std::clamp(tableWidth + 40, 620, maxWidth), 460);
    showCounts();
    m_search->setFocus();
}

void PesquisaListaDialog::showCounts()
{
    const QLocale pt(QLocale::Portuguese, QLocale::Brazil);
    m_counts->setText(QStringLiteral("%1 de %2 na lista; %3 marcados")
                          .arg(pt.toString(m_model->rowCount()),
                               pt.toString(m_model->recordCount()),
                               pt.toString(m_model->checkedCount())));
}

QStringList PesquisaListaDialog::checkedKeys() const
{
    return m_model->checkedKeys();
}

bool PesquisaListaDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Space ticks the current row (the view would only select it); typing over the list goes on
    // in the search box.
    if (watched == m_view && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
            if (m_view->currentIndex().isValid())
                m_model->toggle(m_view->currentIndex().row());
            return true;
        }
        const QString text = key->text();
        const bool typed = !text.isEmpty() && text[0].isPrint() && text[0] != QLatin1Char(' ') &&
                           (key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) == 0;
        if (typed) {
            m_search->setFocus();
            m_search->insert(text);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void PesquisaListaDialog::keyPressEvent(QKeyEvent* event)
{
    // Enter confirms even from the search box; Down leaves the search box for the list.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    if (event->key() == Qt::Key_Down && m_search->hasFocus() && m_model->rowCount() > 0) {
        m_view->setFocus();
        if (!m_view->currentIndex().isValid())
            m_view->setCurrentIndex(m_model->index(0, 1));
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace cht::framework
