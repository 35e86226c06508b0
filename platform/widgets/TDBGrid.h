// The data-aware grid: shows a client data set through a data source, one row per record, read
// lazily by record number so that a million rows cost what a hundred do.
#pragma once

#include "cht_platform_export.h"
#include "platform/dataset/DataSource.h"
#include "platform/widgets/TCanvas.h"
#include "platform/widgets/TColumn.h"

#include <QFlags>
#include <QTableView>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

namespace cht::platform {

class TDBGridModel;
class TDBGridDelegate;

/// Grid options, switched at run time.
enum TDBGridOption : unsigned {
    dgEditing = 0x0001,             ///< the in-place editor may open
    dgAlwaysShowEditor = 0x0002,    ///< accepted, not used: the editor opens on demand
    dgTitles = 0x0004,              ///< title row shown
    dgIndicator = 0x0008,           ///< record indicator column shown
    dgColumnResize = 0x0010,        ///< the operator may resize and move columns
    dgColLines = 0x0020,            ///< vertical lines between cells
    dgRowLines = 0x0040,            ///< horizontal lines between rows
    dgTabs = 0x0080,                ///< Tab and Shift+Tab move between columns
    dgRowSelect = 0x0100,           ///< the whole current row is highlighted; no current column
    dgAlwaysShowSelection = 0x0200, ///< the current cell stays highlighted without focus
    dgConfirmDelete = 0x0400,       ///< Ctrl+Delete asks before deleting the record
    dgCancelOnExit = 0x0800,        ///< leaving the grid cancels an unmodified inserted row
    dgMultiSelect = 0x1000,         ///< Ctrl+click and Shift+click select several rows
};
Q_DECLARE_FLAGS(TDBGridOptions, TDBGridOption)

/// How a data cell is being drawn.
enum TGridDrawStateFlag : unsigned {
    gdSelected = 0x1, ///< highlighted (the current cell, or a selected row)
    gdFocused = 0x2,  ///< the current cell of the focused grid
    gdFixed = 0x4,    ///< a title or indicator cell (never passed to onDrawColumnCell)
};
Q_DECLARE_FLAGS(TGridDrawState, TGridDrawStateFlag)

/// A grid over a data source. The grid's current row is the data set's current record and
/// follows it both ways; the current column is tracked separately (selectedIndex).
///
/// Reading other rows while drawing: before each row is drawn the grid makes that record the data
/// set's active record (TClientDataSet::setActiveRecord), so that field reads in onDrawColumnCell
/// and in the fields' get-text hooks see the painted row; paintedRecNo() tells which one. Nothing
/// moves and no after-scroll fires. Outside drawing paintedRecNo() is 0.
///
/// Events are plain assignable handlers; an exception they raise goes to TWidgetErrors.
class CHT_PLATFORM_EXPORT TDBGrid : public QTableView, public DataLink {
    Q_OBJECT
public:
    using ColumnEvent = std::function<void(TColumn& column)>;
    using KeyEvent = std::function<void(QObject* sender, int& key, Qt::KeyboardModifiers shift)>;
    using NotifyEvent = std::function<void()>;
    using DrawColumnCellEvent = std::function<void(TDBGrid& sender, const QRect& rect, int dataCol,
                                                   TColumn& column, TGridDrawState state)>;
    using ConfirmEvent = std::function<bool(const QString& question)>;

    explicit TDBGrid(QWidget* parent = nullptr);
    ~TDBGrid() override;

    // --- data ---
    TDataSource* dataSource() const { return m_dataSource; }
    void setDataSource(TDataSource* source);
    /// The data set of the data source, or nullptr.
    TClientDataSet* dataSet() const;

    // --- columns ---
    /// Adds a persistent column. Without any, the grid shows one column per visible field.
    TColumn& addColumn(const QString& fieldName);
    void clearColumns();
    /// Columns shown: the persistent ones, or else the generated ones.
    int columnCount() const { return static_cast<int>(shownColumns().size()); }
    TColumn& column(int index) const;
    /// First column showing that field (case-insensitive, as field names are), or nullptr.
    TColumn* columnByFieldName(const QString& fieldName) const;

    // --- options ---
    TDBGridOptions options() const { return m_options; }
    void setOptions(TDBGridOptions options);
    void setOption(TDBGridOption option, bool on);
    bool hasOption(TDBGridOption option) const { return m_options.testFlag(option); }
    /// A read-only grid never edits, whatever its options.
    bool isReadOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly);

    // --- look ---
    /// Cell background of columns without their own colour (default: the palette's base).
    QColor color() const;
    void setColor(const QColor& color);
    QFont titleFont() const { return m_titleFont; }
    void setTitleFont(const QFont& font);
    /// Height of every data row (fixed: all rows are alike).
    int defaultRowHeight() const;
    void setDefaultRowHeight(int pixels);

    // --- current cell ---
    /// Index of the current column (into column()), or -1 when there are no columns.
    int selectedIndex() const { return m_selectedIndex; }
    void setSelectedIndex(int index);
    TColumn* selectedColumn() const;
    TField* selectedField() const;
    /// Record numbers selected with dgMultiSelect (ascending); the current one when none.
    std::vector<int> selectedRecNos() const;

    // --- drawing ---
    /// The canvas of the cell being drawn (valid inside onDrawColumnCell).
    TCanvas& canvas() { return m_canvas; }
    /// Record number of the row being drawn; 0 outside drawing.
    int paintedRecNo() const { return m_paintedRecNo; }
    /// Cell rectangle of a record (1-based) and column index, in viewport pixels, as drawn
    /// (grid lines excluded); empty when not laid out.
    QRect cellRect(int recNo, int columnIndex) const;
    /// Title rectangle of a column, in the title row's pixels.
    QRect titleRect(int columnIndex) const;
    /// Indexes (into column()) of the visible columns in the order the operator sees them, after
    /// any moves.
    std::vector<int> displayOrder() const;
    /// Runs onDrawColumnCell alone for a cell drawn elsewhere (a report): the canvas gets
    /// `background` as its brush and the column's font in `fontColor`; the record is the active
    /// one meanwhile. No highlight, no focus, no default drawing; what the handler raises goes on.
    void drawCellEvent(QPainter& painter, const QRect& cell, int recNo, int columnIndex,
                       const QColor& background, const QColor& fontColor);

    // --- events ---
    /// Mouse click in a data cell, after the clicked row became current.
    ColumnEvent onCellClick;
    /// Mouse click in a column title.
    ColumnEvent onTitleClick;
    /// Every key pressed in the grid or its editor, before the grid handles it; setting key to 0
    /// consumes it, any other value is handled in its place. Qt key codes (Space is 32).
    KeyEvent onKeyDown;
    /// Another column became current (after), and the current column is being left (before).
    NotifyEvent onColEnter;
    NotifyEvent onColExit;
    /// Called for every data cell after the default drawing (background in canvas().brush(), the
    /// field's display text in the column's font). canvas().brush() is the column colour, or the
    /// highlight for a highlighted cell.
    DrawColumnCellEvent onDrawColumnCell;
    /// Asked before Ctrl+Delete deletes with dgConfirmDelete; default: a Yes/No message box.
    ConfirmEvent onConfirmDelete;

    // --- DataLink ---
    void dataSetChanged() override;
    void recordChanged() override;
    void dataSetScrolled() override;
    void stateChanged() override;
    void dataSourceDestroyed() override;

    // Used by TColumn and the grid's helpers.
    void columnChanged(TColumn& column, bool layout);
    /// Columns shown: the persistent ones, or the generated default ones.
    const std::vector<std::unique_ptr<TColumn>>& shownColumns() const;
    /// True when the in-place editor may open on that column now.
    bool canEditColumn(int columnIndex) const;
    /// Default drawing and the draw event for one cell (the delegate calls it).
    void drawCell(QPainter& painter, const QRect& cell, int recNo, int columnIndex);
    /// Writes an edited text into the current record (edit state first); the delegate calls it.
    void writeEditorText(int columnIndex, const QString& text);
    /// Esc in the editor or the grid: closes the editor and cancels the data set's edit.
    void cancelEdit();
    /// Runs onKeyDown for a key typed in the editor; true when the handler consumed it.
    bool editorKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers modifiers);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void applyOptions();
    void rebuildDefaultColumns();
    void resetModel();
    /// What the title row shows of a column, with the field it shows: while these stay as they
    /// were at the last reset of the model, new rows need none.
    struct ColumnShape {
        const TField* field;
        QString title;
        int width;
        bool visible;
        Qt::Alignment titleAlignment;
        bool operator==(const ColumnShape&) const = default;
    };
    std::vector<ColumnShape> columnShapes() const;
    void syncCurrentFromDataSet();
    void applyColumnLayout();
    void handleKey(QKeyEvent* event, int key);
    void titleClicked(int logicalIndex);
    bool deleteCurrentRecord();
    bool highlighted(int recNo, int columnIndex) const;
    void moveColumn(int index);
    void reportPaintError(std::exception_ptr error);
    /// onDrawColumnCell on `painter` with the canvas set up for the cell; the caller has made the
    /// record the active one.
    void runDrawEvent(QPainter& painter, const QRect& cell, int recNo, int columnIndex,
                      TGridDrawState state, const QColor& background, const QColor& fontColor);

    TDataSource* m_dataSource = nullptr;
    TDBGridModel* m_model = nullptr;
    TDBGridDelegate* m_delegate = nullptr;
    std::vector<std::unique_ptr<TColumn>> m_columns;        // persistent
    std::vector<std::unique_ptr<TColumn>> m_defaultColumns; // generated when none persistent
    TDBGridOptions m_options;
    bool m_readOnly = false;
    QColor m_color;
    QFont m_titleFont;
    int m_selectedIndex = -1;
    int m_paintedRecNo = 0;
    TCanvas m_canvas;
    bool m_syncing = false;   // current index being moved to follow the data set
    QModelIndex m_pressIndex; // cell under the last mouse press
    bool m_inColExit = false;
    bool m_layingOut = false;
    bool m_paintErrorPending = false;
    bool m_rowHeightSet = false;
    std::vector<ColumnShape> m_modelShapes;
};

} // namespace cht::platform

Q_DECLARE_OPERATORS_FOR_FLAGS(cht::platform::TDBGridOptions)
Q_DECLARE_OPERATORS_FOR_FLAGS(cht::platform::TGridDrawState)
