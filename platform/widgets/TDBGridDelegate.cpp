#include "platform/widgets/TDBGridDelegate.h"

#include "platform/dataset/Field.h"
#include "platform/widgets/TDBGrid.h"
#include "platform/widgets/TWidgetErrors.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

namespace cht::platform {

TDBGridDelegate::TDBGridDelegate(TDBGrid& grid) : QStyledItemDelegate(&grid), m_grid(grid) {}

void TDBGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const
{
    m_grid.drawCell(*painter, option.rect, index.row() + 1, index.column());
}

QWidget* TDBGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                       const QModelIndex& index) const
{
    TColumn& column = m_grid.column(index.column());
    QWidget* editor = nullptr;
    if (!column.pickList().isEmpty()) {
        auto* combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->addItems(column.pickList());
        combo->setFrame(false);
        combo->setCompleter(nullptr); // a typed text is taken as typed ("sim" is not "Sim")
        // Picking a value writes it at once, as typing and leaving the cell would.
        connect(combo, &QComboBox::activated, this, [this, combo] {
            auto* self = const_cast<TDBGridDelegate*>(this);
            emit self->commitData(combo);
        });
        editor = combo;
        combo->lineEdit()->installEventFilter(const_cast<TDBGridDelegate*>(this));
    } else {
        auto* line = new QLineEdit(parent);
        line->setFrame(false);
        if (TField* f = column.field();
            f && f->dataType() == wire::FieldType::Text && f->size() > 0)
            line->setMaxLength(f->size());
        editor = line;
    }
    editor->setFont(column.font());
    m_editor = editor;
    return editor;
}

QString TDBGridDelegate::editorText(QWidget* editor)
{
    if (auto* combo = qobject_cast<QComboBox*>(editor))
        return combo->currentText();
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        return line->text();
    return {};
}

void TDBGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    TField* f = m_grid.column(index.column()).field();
    QString text;
    TWidgetErrors::guard([&] {
        if (f)
            text = f->text();
    });
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        const int at = combo->findText(text);
        combo->setCurrentIndex(at);
        combo->setEditText(text);
    } else if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setText(text);
        line->selectAll();
    }
}

void TDBGridDelegate::setModelData(QWidget* editor, QAbstractItemModel*,
                                   const QModelIndex& index) const
{
    const QString text = editorText(editor);
    TWidgetErrors::guard([&] { m_grid.writeEditorText(index.column(), text); });
}

void TDBGridDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                           const QModelIndex&) const
{
    editor->setGeometry(option.rect);
}

void TDBGridDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const
{
    if (m_editor == editor)
        m_editor = nullptr;
    QStyledItemDelegate::destroyEditor(editor, index);
}

void TDBGridDelegate::commitAndClose()
{
    if (QWidget* e = m_editor) {
        emit commitData(e);
        emit closeEditor(e, QAbstractItemDelegate::NoHint);
    }
}

void TDBGridDelegate::discard()
{
    if (QWidget* e = m_editor)
        emit closeEditor(e, QAbstractItemDelegate::RevertModelCache);
}

bool TDBGridDelegate::eventFilter(QObject* object, QEvent* event)
{
    // An editable combo box's keys arrive at its line edit first; the ones it ignores come back
    // through the combo box and must not reach onKeyDown twice.
    auto* combo = qobject_cast<QComboBox*>(object);
    const bool viaLineEdit = combo && combo->lineEdit();
    if (event->type() == QEvent::KeyPress && !viaLineEdit) {
        auto* ke = static_cast<QKeyEvent*>(event);
        int key = ke->key();
        if (m_grid.editorKeyDown(object, key, ke->modifiers()))
            return true;
        if (key == Qt::Key_Escape) {
            m_grid.cancelEdit();
            return true;
        }
        // The combo box's line edit keeps Enter and Tab to itself: end the edit here.
        auto* editorCombo = qobject_cast<QComboBox*>(m_editor.data());
        if (editorCombo && object == editorCombo->lineEdit()) {
            QAbstractItemDelegate::EndEditHint hint = QAbstractItemDelegate::NoHint;
            if (key == Qt::Key_Tab)
                hint = QAbstractItemDelegate::EditNextItem;
            else if (key == Qt::Key_Backtab)
                hint = QAbstractItemDelegate::EditPreviousItem;
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab ||
                key == Qt::Key_Backtab) {
                emit commitData(editorCombo);
                emit closeEditor(editorCombo, hint);
                return true;
            }
        }
    }
    // The combo box's line edit is filtered too; only the editor itself gets the standard
    // handling (Tab, Enter, focus out).
    if (m_editor && object != m_editor.data())
        return false;
    return QStyledItemDelegate::eventFilter(object, event);
}

} // namespace cht::platform
