#include "platform/widgets/TDBGrid.h"

#include "platform/dataset/ClientDataSet.h"
#include "platform/dataset/Field.h"
#include "platform/widgets/DataSourceLink.h"
#include "platform/widgets/TDBGridDelegate.h"
#include "platform/widgets/TDBGridModel.h"
#include "platform/widgets/TWidgetErrors.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QScopeGuard>

#include <algorithm>
#include <set>

namespace cht::platform {
namespace {

constexpr int kIndicatorWidth = 14;
constexpr int kTextMargin = 2;

// One line of text, placed by hand in the painter's font: drawing into a rectangle lays the text
// out as a paragraph first, which is most of what painting a page of cells costs.
void drawCellText(QPainter& painter, const QRect& box, Qt::Alignment alignment, QString text)
{
    if (text.isEmpty())
        return;
    if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
        text.replace(QLatin1Char('\n'), QLatin1Char(' '))
            .replace(QLatin1Char('\r'), QLatin1Char(' '));
    const QFontMetrics fm(painter.font());
    int x = box.left();
    if (alignment & (Qt::AlignRight | Qt::AlignHCenter)) {
        const int width = fm.horizontalAdvance(text);
        x = alignment & Qt::AlignRight ? box.left() + box.width() - width
                                       : box.left() + (box.width() - width) / 2;
    }
    int baseline = box.top() + (box.height() - fm.height()) / 2 + fm.ascent();
    if (alignment & Qt::AlignTop)
        baseline = box.top() + fm.ascent();
    else if (alignment & Qt::AlignBottom)
        baseline = box.top() + box.height() - fm.descent();
    painter.drawText(QPoint(x, baseline), text);
}

// A cell is one line of plain text: drawn without shaping (ligatures, kerning), which is most of
// what laying out a text costs. A no-op for the grid's own font, which has it already.
QFont cellFont(QFont font)
{
    const auto unshaped = QFont::StyleStrategy(font.styleStrategy() | QFont::PreferNoShaping);
    font.setStyleStrategy(unshaped);
    return font;
}

// Makes one record the data set's active record for as long as it lives.
class ActiveRecordScope {
public:
    ActiveRecordScope(TClientDataSet* ds, int recNo)
        : m_ds(ds), m_saved(ds ? ds->activeRecord() : 0)
    {
        if (m_ds)
            m_ds->setActiveRecord(recNo);
    }
    ~ActiveRecordScope()
    {
        if (m_ds)
            m_ds->setActiveRecord(m_saved);
    }
    ActiveRecordScope(const ActiveRecordScope&) = delete;
    ActiveRecordScope& operator=(const ActiveRecordScope&) = delete;

private:
    TClientDataSet* m_ds;
    int m_saved;
};

bool isEditing(const TClientDataSet* ds)
{
    return ds && (ds->state() == DataSetState::Edit || ds->state() == DataSetState::Insert);
}

} // namespace

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent)
{
    m_model = new TDBGridModel(*this);
    m_delegate = new TDBGridDelegate(*this);
    setModel(m_model);
    setItemDelegate(m_delegate);
    setShowGrid(false); // lines are drawn per cell, by option
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(ScrollPerPixel);
    setVerticalScrollMode(ScrollPerItem);
    // As the toolkit's grid: the vertical bar is always there, so a new set of rows a page longer
    // or shorter than the last moves no column and lays nothing out again.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFont(cellFont(font()));

    // Uniform rows: the header never measures a row, whatever the row count.
    QHeaderView* v = verticalHeader();
    v->setSectionResizeMode(QHeaderView::Fixed);
    v->setMinimumSectionSize(1);
    v->setDefaultSectionSize(fontMetrics().height() + 4);
    v->setFixedWidth(kIndicatorWidth);
    v->setDefaultAlignment(Qt::AlignCenter);
    v->setSectionsClickable(false);

    QHeaderView* h = horizontalHeader();
    h->setMinimumSectionSize(4);
    h->setSectionsClickable(true);
    h->setHighlightSections(false);
    h->setStretchLastSection(false);
    h->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(
        h, &QHeaderView::sectionClicked, this, [this](int logical) { titleClicked(logical); });
    connect(h, &QHeaderView::sectionResized, this, [this](int logical, int, int newSize) {
        if (!m_layingOut && logical >= 0 && logical < columnCount())
            column(logical).setWidth(newSize);
    });

    m_titleFont = font();
    m_options = dgEditing | dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines |
                dgTabs | dgConfirmDelete | dgCancelOnExit;
    applyOptions();
}

TDBGrid::~TDBGrid()
{
    DataSourceLink::unlink(m_dataSource, this);
}

// --- data -------------------------------------------------------------------------------------

void TDBGrid::setDataSource(TDataSource* source)
{
    if (DataSourceLink::relink(m_dataSource, source, this))
        dataSetChanged();
}

TClientDataSet* TDBGrid::dataSet() const
{
    return m_dataSource ? m_dataSource->dataSet() : nullptr;
}

// --- columns ----------------------------------------------------------------------------------

TColumn& TDBGrid::addColumn(const QString& fieldName)
{
    m_columns.push_back(std::make_unique<TColumn>(*this, fieldName));
    m_defaultColumns.clear();
    if (m_selectedIndex < 0)
        m_selectedIndex = 0;
    resetModel();
    return *m_columns.back();
}

void TDBGrid::clearColumns()
{
    m_columns.clear();
    rebuildDefaultColumns();
    resetModel();
}

const std::vector<std::unique_ptr<TColumn>>& TDBGrid::shownColumns() const
{
    return m_columns.empty() ? m_defaultColumns : m_columns;
}

TColumn& TDBGrid::column(int index) const
{
    return *shownColumns().at(static_cast<std::size_t>(index));
}

TColumn* TDBGrid::columnByFieldName(const QString& fieldName) const
{
    for (const auto& c : shownColumns())
        if (c->fieldName().compare(fieldName, Qt::CaseInsensitive) == 0)
            return c.get();
    return nullptr;
}

void TDBGrid::rebuildDefaultColumns()
{
    m_defaultColumns.clear();
    if (!m_columns.empty())
        return;
    if (TClientDataSet* ds = dataSet()) {
        for (int i = 0; i < ds->fieldCount(); ++i)
            if (ds->field(i).visible)
                m_defaultColumns.push_back(
                    std::make_unique<TColumn>(*this, ds->field(i).fieldName()));
    }
    const int n = columnCount();
    m_selectedIndex = n == 0 ? -1 : std::clamp(m_selectedIndex, 0, n - 1);
}

void TDBGrid::columnChanged(TColumn&, bool layout)
{
    if (layout) {
        m_model->headersChanged();
        applyColumnLayout();
        m_modelShapes = columnShapes();
    }
    horizontalHeader()->viewport()->update();
    viewport()->update();
}

void TDBGrid::applyColumnLayout()
{
    m_layingOut = true;
    QHeaderView* h = horizontalHeader();
    for (int i = 0; i < columnCount() && i < h->count(); ++i) {
        TColumn& c = column(i);
        setColumnHidden(i, !c.visible());
        const int w = c.width();
        if (c.visible() && h->sectionSize(i) != w)
            h->resizeSection(i, w);
    }
    m_layingOut = false;
}

// --- options ----------------------------------------------------------------------------------

void TDBGrid::setOptions(TDBGridOptions options)
{
    m_options = options;
    applyOptions();
}

void TDBGrid::setOption(TDBGridOption option, bool on)
{
    TDBGridOptions o = m_options;
    o.setFlag(option, on);
    setOptions(o);
}

void TDBGrid::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    applyOptions();
}

void TDBGrid::applyOptions()
{
    const bool editing = hasOption(dgEditing) && !hasOption(dgRowSelect) && !m_readOnly;
    if (!editing && m_delegate->editor())
        m_delegate->commitAndClose();
    setEditTriggers(editing ? (DoubleClicked | SelectedClicked | EditKeyPressed | AnyKeyPressed)
                            : NoEditTriggers);

    horizontalHeader()->setVisible(hasOption(dgTitles));
    verticalHeader()->setVisible(hasOption(dgIndicator));
    const bool resize = hasOption(dgColumnResize);
    horizontalHeader()->setSectionResizeMode(resize ? QHeaderView::Interactive
                                                    : QHeaderView::Fixed);
    horizontalHeader()->setSectionsMovable(resize);
    setTabKeyNavigation(hasOption(dgTabs));
    setSelectionBehavior(hasOption(dgRowSelect) ? SelectRows : SelectItems);
    setSelectionMode(hasOption(dgMultiSelect) ? ExtendedSelection : SingleSelection);
    applyColumnLayout(); // default widths count the title only while titles show
    viewport()->update();
}

// --- look -------------------------------------------------------------------------------------

QColor TDBGrid::color() const
{
    return m_color.isValid() ? m_color : palette().color(QPalette::Base);
}

void TDBGrid::setColor(const QColor& color)
{
    m_color = color;
    // The area below the last row and right of the last column takes it too.
    QPalette p = viewport()->palette();
    p.setColor(QPalette::Base, this->color());
    viewport()->setPalette(p);
    viewport()->update();
}

void TDBGrid::setTitleFont(const QFont& font)
{
    m_titleFont = font;
    m_model->headersChanged();
    applyColumnLayout();
}

int TDBGrid::defaultRowHeight() const
{
    return verticalHeader()->defaultSectionSize();
}

void TDBGrid::setDefaultRowHeight(int pixels)
{
    m_rowHeightSet = true;
    verticalHeader()->setDefaultSectionSize(pixels);
}

// --- current cell -----------------------------------------------------------------------------

void TDBGrid::setSelectedIndex(int index)
{
    if (index < 0 || index >= columnCount() || index == m_selectedIndex)
        return;
    TClientDataSet* ds = dataSet();
    if (ds && ds->active() && !ds->isEmpty()) {
        // Through the view, so that an open editor is committed first.
        setCurrentIndex(m_model->index(ds->recNo() - 1, index));
        if (m_selectedIndex != index)
            moveColumn(index);
    } else {
        moveColumn(index);
    }
}

void TDBGrid::moveColumn(int index)
{
    if (index == m_selectedIndex)
        return;
    if (m_selectedIndex >= 0 && !m_inColExit && onColExit) {
        m_inColExit = true;
        TWidgetErrors::guard([this] { onColExit(); });
        m_inColExit = false;
    }
    m_selectedIndex = index;
    if (onColEnter)
        TWidgetErrors::guard([this] { onColEnter(); });
    viewport()->update();
}

TColumn* TDBGrid::selectedColumn() const
{
    return m_selectedIndex >= 0 && m_selectedIndex < columnCount() ? &column(m_selectedIndex)
                                                                   : nullptr;
}

TField* TDBGrid::selectedField() const
{
    TColumn* c = selectedColumn();
    return c ? c->field() : nullptr;
}

std::vector<int> TDBGrid::selectedRecNos() const
{
    std::set<int> rows;
    if (hasOption(dgMultiSelect))
        for (const QModelIndex& i : selectionModel()->selectedIndexes())
            rows.insert(i.row() + 1);
    if (rows.empty())
        if (TClientDataSet* ds = dataSet(); ds && ds->active() && !ds->isEmpty())
            rows.insert(ds->recNo());
    return {rows.begin(), rows.end()};
}

bool TDBGrid::canEditColumn(int columnIndex) const
{
    if (!hasOption(dgEditing) || hasOption(dgRowSelect) || m_readOnly || !isEnabled())
        return false;
    if (columnIndex < 0 || columnIndex >= columnCount() || column(columnIndex).readOnly())
        return false;
    TClientDataSet* ds = dataSet();
    return ds && ds->active() && !ds->isEmpty() && column(columnIndex).field();
}

// --- following the data set -------------------------------------------------------------------

void TDBGrid::dataSetChanged()
{
    m_paintErrorPending = false;
    if (m_columns.empty())
        rebuildDefaultColumns();
    // A new set of rows under persistent columns (a list reloaded, the details of another record)
    // keeps the title row: a reset would lay it out and redraw it for nothing.
    if (!m_columns.empty() && columnShapes() == m_modelShapes) {
        // What a reset ends: an open editor, the selection.
        if (m_delegate->editor())
            m_delegate->discard();
        selectionModel()->clear();
        m_model->replaceRows();
        verticalHeader()->viewport()->update();
    } else {
        resetModel();
    }
    syncCurrentFromDataSet();
}

void TDBGrid::recordChanged()
{
    if (TClientDataSet* ds = dataSet())
        m_model->recordChanged(ds->recNo());
    viewport()->update();
}

void TDBGrid::dataSetScrolled()
{
    syncCurrentFromDataSet();
    verticalHeader()->viewport()->update();
    viewport()->update();
}

void TDBGrid::stateChanged()
{
    TClientDataSet* ds = dataSet();
    // A post or cancel made elsewhere ends what the editor held.
    if (!isEditing(ds) && m_delegate->editor())
        m_delegate->discard();
    verticalHeader()->viewport()->update();
    viewport()->update();
}

void TDBGrid::dataSourceDestroyed()
{
    m_dataSource = nullptr;
    if (m_columns.empty())
        m_defaultColumns.clear();
    resetModel();
}

void TDBGrid::resetModel()
{
    m_model->reset();
    applyColumnLayout();
    m_modelShapes = columnShapes();
}

std::vector<TDBGrid::ColumnShape> TDBGrid::columnShapes() const
{
    std::vector<ColumnShape> shapes;
    shapes.reserve(shownColumns().size());
    for (const auto& c : shownColumns())
        shapes.push_back({c->field(), c->title(), c->width(), c->visible(), c->titleAlignment()});
    return shapes;
}

void TDBGrid::syncCurrentFromDataSet()
{
    TClientDataSet* ds = dataSet();
    if (!ds || !ds->active() || ds->isEmpty() || columnCount() == 0)
        return;
    const int col = std::clamp(m_selectedIndex, 0, columnCount() - 1);
    const QModelIndex target = m_model->index(ds->recNo() - 1, col);
    if (target != currentIndex()) {
        // An editor of the row being left would otherwise be committed into the new one.
        if (m_delegate->editor())
            m_delegate->discard();
        m_syncing = true;
        QItemSelectionModel::SelectionFlags how = QItemSelectionModel::ClearAndSelect;
        if (hasOption(dgRowSelect))
            how |= QItemSelectionModel::Rows;
        selectionModel()->setCurrentIndex(target, how);
        m_syncing = false;
    }
    scrollTo(target);
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous); // commits an open editor into its record
    if (m_syncing || !current.isValid())
        return;
    if (current.column() != m_selectedIndex)
        moveColumn(current.column());
    TClientDataSet* ds = dataSet();
    if (ds && ds->active() && current.row() + 1 != ds->recNo()) {
        const int target = current.row() + 1;
        TWidgetErrors::guard([&] { ds->setRecNo(target); });
        if (ds->recNo() != target)
            syncCurrentFromDataSet(); // refused (a failed post): the grid stays on the record
    }
    viewport()->update();
}

bool TDBGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    TClientDataSet* ds = dataSet();
    if (!index.isValid() || !canEditColumn(index.column()) || !ds || index.row() + 1 != ds->recNo())
        return false;
    return QTableView::edit(index, trigger, event);
}

// --- drawing ----------------------------------------------------------------------------------

bool TDBGrid::highlighted(int recNo, int columnIndex) const
{
    TClientDataSet* ds = dataSet();
    if (!ds)
        return false;
    if (recNo != ds->recNo())
        return hasOption(dgMultiSelect) && selectionModel()->isRowSelected(recNo - 1, {});
    const bool show = hasFocus() || hasOption(dgAlwaysShowSelection) || m_delegate->editor();
    if (!show)
        return false;
    return hasOption(dgRowSelect) || columnIndex == m_selectedIndex;
}

void TDBGrid::reportPaintError(std::exception_ptr error)
{
    // Once per load: a handler failing on every cell must not flood the operator.
    if (m_paintErrorPending)
        return;
    m_paintErrorPending = true;
    QMetaObject::invokeMethod(
        this, [error] { TWidgetErrors::report(error); }, Qt::QueuedConnection);
}

void TDBGrid::drawCell(QPainter& painter, const QRect& cell, int recNo, int columnIndex)
{
    if (columnIndex < 0 || columnIndex >= columnCount())
        return;
    TColumn& c = column(columnIndex);
    TClientDataSet* ds = dataSet();
    painter.save();

    QRect r = cell;
    const QColor lineColor = palette().color(QPalette::Mid);
    if (hasOption(dgColLines)) {
        r.setRight(r.right() - 1);
        painter.fillRect(QRect(cell.right(), cell.top(), 1, cell.height()), lineColor);
    }
    if (hasOption(dgRowLines)) {
        r.setBottom(r.bottom() - 1);
        painter.fillRect(QRect(cell.left(), cell.bottom(), cell.width(), 1), lineColor);
    }

    const bool selected = highlighted(recNo, columnIndex);
    TGridDrawState state;
    if (selected)
        state |= gdSelected;
    if (ds && recNo == ds->recNo() && columnIndex == m_selectedIndex && hasFocus())
        state |= gdFocused;

    const QColor background = selected ? palette().color(QPalette::Highlight) : c.color();
    const QColor fontColor = selected ? palette().color(QPalette::HighlightedText) : c.fontColor();
    painter.fillRect(r, background);
    painter.setClipRect(r);

    {
        const ActiveRecordScope active(ds, recNo);
        m_paintedRecNo = recNo;
        QString text;
        try {
            if (TField* f = c.field())
                text = f->displayText();
        } catch (...) {
            reportPaintError(std::current_exception());
        }
        painter.setFont(cellFont(c.font()));
        painter.setPen(fontColor);
        drawCellText(painter, r.adjusted(kTextMargin, 0, -kTextMargin, 0), c.alignment(), text);
        try {
            runDrawEvent(painter, r, recNo, columnIndex, state, background, fontColor);
        } catch (...) {
            reportPaintError(std::current_exception());
        }
        m_paintedRecNo = 0;
    }
    painter.restore();
}

void TDBGrid::runDrawEvent(QPainter& painter, const QRect& cell, int recNo, int columnIndex,
                           TGridDrawState state, const QColor& background, const QColor& fontColor)
{
    if (!onDrawColumnCell)
        return;
    TColumn& c = column(columnIndex);
    m_canvas.setPainter(&painter);
    m_canvas.setBrush(QBrush(background));
    m_canvas.setFont(c.font());
    m_canvas.setFontColor(fontColor);
    m_paintedRecNo = recNo;
    const auto reset = qScopeGuard([this] {
        m_paintedRecNo = 0;
        m_canvas.setPainter(nullptr);
    });
    onDrawColumnCell(*this, cell, columnIndex, c, state);
}

std::vector<int> TDBGrid::displayOrder() const
{
    const QHeaderView* h = horizontalHeader();
    std::vector<int> order;
    for (int visual = 0; visual < h->count(); ++visual) {
        const int logical = h->logicalIndex(visual);
        if (logical >= 0 && logical < columnCount() && column(logical).visible())
            order.push_back(logical);
    }
    return order;
}

void TDBGrid::drawCellEvent(QPainter& painter, const QRect& cell, int recNo, int columnIndex,
                            const QColor& background, const QColor& fontColor)
{
    const ActiveRecordScope active(dataSet(), recNo);
    runDrawEvent(painter, cell, recNo, columnIndex, {}, background, fontColor);
}

QRect TDBGrid::cellRect(int recNo, int columnIndex) const
{
    QRect r = visualRect(m_model->index(recNo - 1, columnIndex));
    if (r.isEmpty())
        return {};
    if (hasOption(dgColLines))
        r.setRight(r.right() - 1);
    if (hasOption(dgRowLines))
        r.setBottom(r.bottom() - 1);
    return r;
}

QRect TDBGrid::titleRect(int columnIndex) const
{
    const QHeaderView* h = horizontalHeader();
    return {h->sectionViewportPosition(columnIndex), 0, h->sectionSize(columnIndex), h->height()};
}

// --- editing ----------------------------------------------------------------------------------

void TDBGrid::writeEditorText(int columnIndex, const QString& text)
{
    TClientDataSet* ds = dataSet();
    TField* f =
        columnIndex >= 0 && columnIndex < columnCount() ? column(columnIndex).field() : nullptr;
    if (!ds || !f || f->text() == text)
        return; // an unchanged editor leaves the record in browse state
    if (ds->state() == DataSetState::Browse)
        ds->edit();
    f->setText(text);
}

void TDBGrid::cancelEdit()
{
    m_delegate->discard();
    TClientDataSet* ds = dataSet();
    if (isEditing(ds))
        TWidgetErrors::guard([ds] { ds->cancel(); });
    setFocus();
}

bool TDBGrid::editorKeyDown(QObject*, int& key, Qt::KeyboardModifiers modifiers)
{
    // The grid is the sender, as for keys pressed on the grid itself.
    if (onKeyDown)
        TWidgetErrors::guard([&] { onKeyDown(this, key, modifiers); });
    return key == 0;
}

bool TDBGrid::deleteCurrentRecord()
{
    TClientDataSet* ds = dataSet();
    if (!ds || !ds->active() || ds->isEmpty() || m_readOnly || !hasOption(dgEditing))
        return false;
    if (hasOption(dgConfirmDelete)) {
        const QString question = QStringLiteral("Excluir o registro?");
        const bool yes = onConfirmDelete
                             ? onConfirmDelete(question)
                             : QMessageBox::question(this, QStringLiteral("Confirmação"), question,
                                                     QMessageBox::Yes | QMessageBox::No,
                                                     QMessageBox::No) == QMessageBox::Yes;
        if (!yes)
            return false;
    }
    return TWidgetErrors::guard([ds] { ds->deleteRecord(); });
}

// --- input ------------------------------------------------------------------------------------

bool TDBGrid::event(QEvent* event)
{
    // With dgTabs, Tab moves between columns and reaches onKeyDown like any key.
    if (event->type() == QEvent::KeyPress && hasOption(dgTabs)) {
        auto* ke = static_cast<QKeyEvent*>(event);
        if ((ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) &&
            !(ke->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            keyPressEvent(ke);
            return true;
        }
    }
    return QTableView::event(event);
}

void TDBGrid::keyPressEvent(QKeyEvent* event)
{
    int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    // A key the editor left unhandled comes here too: its onKeyDown has run already.
    QWidget* focus = QApplication::focusWidget();
    const bool fromEditor = focus && focus != this && isAncestorOf(focus);
    if (onKeyDown && !fromEditor)
        TWidgetErrors::guard([&] { onKeyDown(this, key, modifiers); });
    if (key == 0) {
        event->accept();
        return;
    }
    if (key != event->key()) {
        const QString text =
            key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde ? QString(QChar(key)) : QString();
        QKeyEvent replaced(QEvent::KeyPress, key, modifiers, text);
        handleKey(&replaced, key);
        event->setAccepted(replaced.isAccepted());
        return;
    }
    handleKey(event, key);
}

void TDBGrid::handleKey(QKeyEvent* event, int key)
{
    TClientDataSet* ds = dataSet();
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    if (key == Qt::Key_Escape) {
        if (isEditing(ds)) {
            cancelEdit();
            event->accept();
        } else {
            event->ignore();
        }
        return;
    }
    if (key == Qt::Key_Delete && ctrl) {
        deleteCurrentRecord();
        event->accept();
        return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !m_delegate->editor()) {
        if (canEditColumn(m_selectedIndex)) {
            edit(currentIndex(), EditKeyPressed, event);
            event->accept();
        } else {
            event->ignore();
        }
        return;
    }
    QTableView::keyPressEvent(event);
}

void TDBGrid::mousePressEvent(QMouseEvent* event)
{
    m_pressIndex = indexAt(event->position().toPoint());
    QTableView::mousePressEvent(event);
}

void TDBGrid::mouseReleaseEvent(QMouseEvent* event)
{
    QTableView::mouseReleaseEvent(event);
    const QModelIndex released = indexAt(event->position().toPoint());
    const QModelIndex pressed = m_pressIndex;
    m_pressIndex = {};
    if (event->button() != Qt::LeftButton || !released.isValid() || released != pressed)
        return;
    if (onCellClick)
        TWidgetErrors::guard([&] { onCellClick(column(released.column())); });
}

void TDBGrid::titleClicked(int logicalIndex)
{
    if (logicalIndex < 0 || logicalIndex >= columnCount() || !onTitleClick)
        return;
    TWidgetErrors::guard([&] { onTitleClick(column(logicalIndex)); });
}

void TDBGrid::focusOutEvent(QFocusEvent* event)
{
    QTableView::focusOutEvent(event);
    QWidget* focus = QApplication::focusWidget();
    const bool intoEditor = focus && focus != this && isAncestorOf(focus);
    TClientDataSet* ds = dataSet();
    if (hasOption(dgCancelOnExit) && !intoEditor && ds && ds->state() == DataSetState::Insert &&
        !ds->modified())
        TWidgetErrors::guard([ds] { ds->cancel(); });
    viewport()->update();
}

void TDBGrid::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        applyOptions();
    // Rows follow the face the grid is drawn in, unless a height was set.
    if (event->type() == QEvent::FontChange && !m_rowHeightSet)
        verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
}

} // namespace cht::platform
