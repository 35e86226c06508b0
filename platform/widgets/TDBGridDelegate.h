// The grid's item delegate: draws cells through the grid and runs the in-place editor.
#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

namespace cht::platform {

class TDBGrid;

/// The editor is a line edit, or an editable combo box when the column has a pick list. Its keys
/// reach the grid's onKeyDown first; Esc closes it and cancels the record's edit.
class TDBGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TDBGridDelegate(TDBGrid& grid);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;

    /// The open editor, or nullptr.
    QWidget* editor() const { return m_editor; }
    /// Writes the open editor's text into the record and closes it.
    void commitAndClose();
    /// Closes the open editor without writing.
    void discard();

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    static QString editorText(QWidget* editor);

    TDBGrid& m_grid;
    mutable QPointer<QWidget> m_editor;
};

} // namespace cht::platform
