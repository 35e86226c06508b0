// The data-aware grid on real widgets: cursor following both ways, events, the runtime editing
// switch, the pick-list editor, the per-cell draw hook, column layout and a million rows.
#include "WidgetTestSupport.h"

#include "platform/widgets/TDBGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace cht::platform {
namespace {

using namespace widgets_testing;

std::string str(const QString& s)
{
    return s.toStdString();
}

class GridTest : public ::testing::Test {
protected:
    ErrorCatcher errors;
    SampleSet set;
    TDBGrid grid;

    void SetUp() override
    {
        set.load();
        grid.setDataSource(&set.dts);
        grid.addColumn(QStringLiteral("IDCHECK")).setWidth(18);
        grid.addColumn(QStringLiteral("NMFANTCLIE"));
        grid.addColumn(QStringLiteral("IDCHTASSINADA"))
            .setPickList({QStringLiteral("Não"), QStringLiteral("Sim")});
        grid.addColumn(QStringLiteral("VRFATU"));
        grid.setOption(dgEditing, false);
        grid.resize(700, 300);
        grid.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    }

    void click(int recNo, int column)
    {
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {},
                          grid.cellRect(recNo, column).center());
    }

    // The open in-place editor (closed editors are deleted later: flush them first).
    template <typename T> T* editor()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (T* w : grid.viewport()->findChildren<T*>())
            if (w->isVisible())
                return w;
        return nullptr;
    }
};

TEST_F(GridTest, ClickMovesTheRecordAndFiresColumnExitEnterThenCellClick)
{
    std::vector<std::string> log;
    grid.onColExit = [&] { log.push_back("exit " + str(grid.selectedColumn()->fieldName())); };
    grid.onColEnter = [&] { log.push_back("enter " + str(grid.selectedColumn()->fieldName())); };
    grid.onCellClick = [&](TColumn& c) {
        log.push_back("click " + str(c.fieldName()) + " " + std::to_string(set.cds.recNo()));
    };
    int scrolls = 0;
    set.cds.afterScroll = [&](TClientDataSet&) { ++scrolls; };

    EXPECT_EQ(grid.selectedIndex(), 0); // the first column starts current, without events
    click(3, 1);
    EXPECT_EQ(set.cds.recNo(), 3);
    EXPECT_EQ(grid.selectedIndex(), 1);
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(log,
              (std::vector<std::string>{"exit IDCHECK", "enter NMFANTCLIE", "click NMFANTCLIE 3"}));

    log.clear();
    click(3, 1); // same cell: only the click
    EXPECT_EQ(log, (std::vector<std::string>{"click NMFANTCLIE 3"}));
    EXPECT_EQ(scrolls, 1);
}

TEST_F(GridTest, GridFollowsTheDataSetCursorWithoutFiringEvents)
{
    int events = 0;
    grid.onCellClick = [&](TColumn&) { ++events; };
    grid.onColEnter = [&] { ++events; };
    set.cds.setRecNo(4);
    EXPECT_EQ(grid.currentIndex().row(), 3);
    EXPECT_EQ(grid.currentIndex().column(), 0);
    set.cds.first();
    EXPECT_EQ(grid.currentIndex().row(), 0);
    EXPECT_EQ(events, 0);
}

TEST_F(GridTest, TitleClickReportsTheColumnAndMovesNothing)
{
    std::vector<std::string> titles;
    int cells = 0;
    grid.onTitleClick = [&](TColumn& c) { titles.push_back(str(c.fieldName())); };
    grid.onCellClick = [&](TColumn&) { ++cells; };
    QTest::mouseClick(grid.horizontalHeader()->viewport(), Qt::LeftButton, {},
                      grid.titleRect(2).center());
    QTest::mouseClick(grid.horizontalHeader()->viewport(), Qt::LeftButton, {},
                      grid.titleRect(0).center());
    EXPECT_EQ(titles, (std::vector<std::string>{"IDCHTASSINADA", "IDCHECK"}));
    EXPECT_EQ(cells, 0);
    EXPECT_EQ(set.cds.recNo(), 1);
}

TEST_F(GridTest, KeysReachOnKeyDownFirstAndMayBeConsumedOrReplaced)
{
    std::vector<std::pair<int, Qt::KeyboardModifiers>> seen;
    int replaceWith = -1;
    grid.onKeyDown = [&](QObject* sender, int& key, Qt::KeyboardModifiers shift) {
        EXPECT_EQ(sender, &grid);
        if (key == Qt::Key_Control)
            return; // the modifier's own press reaches the handler too
        seen.emplace_back(key, shift);
        if (replaceWith >= 0 && key == Qt::Key_Down)
            key = replaceWith;
    };
    QTest::keyClick(&grid, Qt::Key_Space);
    QTest::keyClick(&grid, Qt::Key_Space, Qt::ControlModifier);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first, 32);
    EXPECT_EQ(seen[0].second, Qt::NoModifier);
    EXPECT_EQ(seen[1].first, 32);
    EXPECT_EQ(seen[1].second, Qt::ControlModifier);

    QTest::keyClick(&grid, Qt::Key_Down); // not consumed: the grid moves
    EXPECT_EQ(set.cds.recNo(), 2);
    replaceWith = 0;
    QTest::keyClick(&grid, Qt::Key_Down); // consumed
    EXPECT_EQ(set.cds.recNo(), 2);
    replaceWith = Qt::Key_Up;
    QTest::keyClick(&grid, Qt::Key_Down); // handled as the key the handler left
    EXPECT_EQ(set.cds.recNo(), 1);
}

TEST_F(GridTest, TabMovesBetweenColumnsOnlyWithTheTabsOption)
{
    int keys = 0;
    grid.onKeyDown = [&](QObject*, int& key, Qt::KeyboardModifiers) { keys += key == Qt::Key_Tab; };
    QTest::keyClick(&grid, Qt::Key_Tab);
    EXPECT_EQ(grid.selectedIndex(), 1);
    EXPECT_EQ(keys, 1);
    grid.setOption(dgTabs, false);
    QTest::keyClick(&grid, Qt::Key_Tab);
    EXPECT_EQ(grid.selectedIndex(), 1);
}

TEST_F(GridTest, EditorOpensOnlyWhileEditingIsSwitchedOn)
{
    click(1, 2);
    ASSERT_EQ(grid.selectedIndex(), 2);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, grid.cellRect(1, 2).center());
    QTest::keyClick(&grid, Qt::Key_Return);
    QTest::keyClick(&grid, Qt::Key_F2);
    EXPECT_EQ(editor<QComboBox>(), nullptr);
    EXPECT_EQ(set.cds.state(), DataSetState::Browse);

    grid.setOption(dgEditing, true);
    QTest::keyClick(&grid, Qt::Key_Return);
    QComboBox* combo = editor<QComboBox>();
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(0), QStringLiteral("Não"));
    EXPECT_EQ(combo->itemText(1), QStringLiteral("Sim"));
    EXPECT_EQ(combo->currentText(), QStringLiteral("Não")); // the field's text, through its hook

    grid.setOption(dgEditing, false);
    EXPECT_EQ(editor<QComboBox>(), nullptr);

    // A column without a pick list gets a plain text editor; a read-only column none.
    grid.setOption(dgEditing, true);
    grid.setSelectedIndex(1);
    QTest::keyClick(&grid, Qt::Key_F2);
    QLineEdit* line = editor<QLineEdit>();
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(), QStringLiteral("Padaria São Jorge"));
    EXPECT_EQ(line->maxLength(), 50);
    QTest::keyClick(line, Qt::Key_Escape);
    grid.column(3).setReadOnly(true);
    grid.setSelectedIndex(3);
    QTest::keyClick(&grid, Qt::Key_F2);
    EXPECT_EQ(editor<QLineEdit>(), nullptr);
}

TEST_F(GridTest, PickingFromTheListWritesTheFieldAndEscCancels)
{
    grid.setOption(dgEditing, true);
    click(1, 2);
    QTest::keyClick(&grid, Qt::Key_Return);
    QComboBox* combo = editor<QComboBox>();
    ASSERT_NE(combo, nullptr);
    QTest::keyClick(combo->lineEdit(), Qt::Key_Down); // next item: "Sim"
    EXPECT_EQ(set.cds.state(), DataSetState::Edit);
    EXPECT_EQ(set.signedFlag.asString(), QStringLiteral("S"));
    EXPECT_EQ(grid.model()->index(0, 2).data().toString(), QStringLiteral("Sim"));

    QTest::keyClick(combo->lineEdit(), Qt::Key_Escape);
    EXPECT_EQ(set.cds.state(), DataSetState::Browse);
    EXPECT_EQ(set.signedFlag.asString(), QStringLiteral("N"));
    EXPECT_EQ(editor<QComboBox>(), nullptr);
    EXPECT_EQ(set.cds.changeCount(), 0);
}

TEST_F(GridTest, TypedTextGoesThroughTheSetTextHookAndLeavingTheColumnCommitsIt)
{
    grid.setOption(dgEditing, true);
    // The screen's rule: leaving the column posts a changed row.
    grid.onColExit = [&] {
        if (set.cds.state() == DataSetState::Edit &&
            set.signedFlag.asString() != set.signedFlag.oldValueAsString())
            set.cds.post();
    };
    click(1, 2);
    QTest::keyClick(&grid, Qt::Key_Return);
    QComboBox* combo = editor<QComboBox>();
    ASSERT_NE(combo, nullptr);
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("sim")); // not a text the hook takes
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(set.signedFlag.asString(), QStringLiteral("N"));
    EXPECT_EQ(editor<QComboBox>(), nullptr);

    QTest::keyClick(&grid, Qt::Key_Return);
    combo = editor<QComboBox>();
    ASSERT_NE(combo, nullptr);
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("Sim"));
    click(1, 3); // leaving the column commits the editor before the exit handler runs
    EXPECT_EQ(set.cds.state(), DataSetState::Browse);
    EXPECT_EQ(set.signedFlag.asString(), QStringLiteral("S"));
    EXPECT_EQ(set.cds.changeCount(), 1);
}

TEST_F(GridTest, EditorKeysReachOnKeyDownOnceAndEscCancelsTheRecord)
{
    grid.setOption(dgEditing, true);
    std::vector<int> keys;
    grid.onKeyDown = [&](QObject* sender, int& key, Qt::KeyboardModifiers) {
        EXPECT_EQ(sender, &grid);
        keys.push_back(key);
        if (key == Qt::Key_X)
            key = 0; // consumed: the editor never sees it
    };
    grid.setSelectedIndex(1);
    QTest::keyClick(&grid, Qt::Key_F2);
    QLineEdit* line = editor<QLineEdit>();
    ASSERT_NE(line, nullptr);
    line->setText(QString());
    QTest::keyClick(line, Qt::Key_A);
    QTest::keyClick(line, Qt::Key_X);
    QTest::keyClick(line, Qt::Key_Space);
    EXPECT_EQ(line->text(), QStringLiteral("a "));
    EXPECT_EQ(keys, (std::vector<int>{Qt::Key_F2, Qt::Key_A, Qt::Key_X, Qt::Key_Space}));
    QTest::keyClick(line, Qt::Key_Return); // commits the text into the record (queued)
    QCoreApplication::processEvents();
    EXPECT_EQ(set.cds.state(), DataSetState::Edit);
    EXPECT_EQ(set.client.asString(), QStringLiteral("a "));
    QTest::keyClick(&grid, Qt::Key_Escape);
    EXPECT_EQ(set.cds.state(), DataSetState::Browse);
    EXPECT_EQ(set.client.asString(), QStringLiteral("Padaria São Jorge"));
}

TEST_F(GridTest, LeavingTheGridDropsAnUntouchedInsertedRowWithCancelOnExit)
{
    set.cds.append();
    ASSERT_EQ(set.cds.state(), DataSetState::Insert);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(&grid, &out);
    EXPECT_EQ(set.cds.state(), DataSetState::Browse);
    EXPECT_EQ(set.cds.recordCount(), 4);

    set.cds.append();
    set.client.setAsString(QStringLiteral("Novo"));
    QApplication::sendEvent(&grid, &out); // a touched row stays for the operator to post
    EXPECT_EQ(set.cds.state(), DataSetState::Insert);
}

TEST_F(GridTest, DrawHookSeesEachPaintedRowWithTheGridsBrush)
{
    grid.setOption(dgAlwaysShowSelection, true);
    set.cds.setRecNo(2);
    grid.setSelectedIndex(1);
    struct Call {
        int recNo, col;
        QRect rect, expected;
        QColor brush;
        std::string check;
        bool selected;
    };
    std::vector<Call> calls;
    grid.onDrawColumnCell = [&](TDBGrid& g, const QRect& rect, int col, TColumn& column,
                                TGridDrawState state) {
        EXPECT_EQ(&column, &g.column(col));
        calls.push_back({g.paintedRecNo(), col, rect, g.cellRect(g.paintedRecNo(), col),
                         g.canvas().brush().color(), str(set.check.asString()),
                         state.testFlag(gdSelected)});
    };
    grid.viewport()->repaint();

    const auto rows = sampleRows();
    ASSERT_EQ(calls.size(), rows.size() * 4);
    const QColor highlight = grid.palette().color(QPalette::Highlight);
    for (const Call& c : calls) {
        SCOPED_TRACE("record " + std::to_string(c.recNo) + " column " + std::to_string(c.col));
        EXPECT_EQ(c.rect, c.expected);
        EXPECT_EQ(c.check, rows[static_cast<std::size_t>(c.recNo - 1)]
                               .check); // the painted row, not the current one
        const bool current = c.recNo == 2 && c.col == 1;
        EXPECT_EQ(c.selected, current);
        EXPECT_EQ(c.brush, current ? highlight : grid.color());
    }
    EXPECT_EQ(set.cds.activeRecord(), 0);
    EXPECT_EQ(grid.paintedRecNo(), 0);
    EXPECT_EQ(set.cds.recNo(), 2);
    EXPECT_EQ(set.check.asString(), QStringLiteral("S"));

    // Without focus and without the option, nothing is highlighted.
    grid.setOption(dgAlwaysShowSelection, false);
    calls.clear();
    grid.viewport()->repaint();
    ASSERT_FALSE(calls.empty());
    // One assertion, not one under an unbraced if: GCC reads the macro there as a dangling else.
    EXPECT_TRUE(grid.hasFocus() ||
                std::none_of(calls.begin(), calls.end(), [](const Call& c) { return c.selected; }));
}

TEST_F(GridTest, DrawHookPaintsAKeyedBitmapOnTheCellsOwnBackground)
{
    const QColor olive(128, 128, 0);
    QImage bitmap(16, 16, QImage::Format_RGB32);
    bitmap.fill(olive);
    for (int y = 2; y < 6; ++y)
        for (int x = 2; x < 6; ++x)
            bitmap.setPixelColor(x, y, Qt::black);
    grid.setOption(dgAlwaysShowSelection, true);
    grid.onDrawColumnCell = [&](TDBGrid& g, const QRect& rect, int, TColumn& column,
                                TGridDrawState) {
        if (column.fieldName() != QLatin1String("IDCHECK"))
            return;
        g.canvas().fillRect(rect);
        g.canvas().drawBitmapKeyed(QRect(rect.left() + 1, rect.top(), 16, rect.height()), bitmap,
                                   QRect(0, 0, 16, rect.height()));
    };
    const QImage shot = grid.viewport()->grab().toImage();
    const QRect current = grid.cellRect(1, 0);
    const QRect other = grid.cellRect(2, 0);
    EXPECT_EQ(shot.pixelColor(current.left() + 1, current.top()),
              grid.palette().color(QPalette::Highlight));
    EXPECT_EQ(shot.pixelColor(current.left() + 4, current.top() + 4), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(other.left() + 1, other.top()), grid.color());
    EXPECT_EQ(shot.pixelColor(other.left() + 3, other.top() + 3), QColor(Qt::black));
    for (const QRect& r : {current, other})
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                ASSERT_NE(shot.pixelColor(x, y), olive) << x << "," << y;
}

TEST_F(GridTest, CellTextSitsOnOneLineAtTheColumnsSideWithinTheMargins)
{
    grid.setOption(dgAlwaysShowSelection, false);
    grid.clearFocus();
    grid.column(1).setWidth(200);
    grid.column(3).setWidth(120); // VRFATU: a number, right-aligned
    set.cds.setRecNo(2);
    set.cds.edit();
    set.client.setAsString(QStringLiteral("Linha um\nlinha dois"));
    set.cds.post();
    set.cds.first();
    const QImage shot = grid.viewport()->grab().toImage();
    const QRgb background = grid.color().rgb();
    // Columns and rows of the cell where the text left its ink.
    auto ink = [&](int recNo, int column) {
        const QRect c = grid.cellRect(recNo, column);
        QRect box;
        for (int y = c.top(); y <= c.bottom(); ++y)
            for (int x = c.left(); x <= c.right(); ++x)
                if (shot.pixel(x, y) != background)
                    box |= QRect(x, y, 1, 1);
        return std::pair{c, box};
    };
    const auto [left, leftInk] = ink(1, 1);
    EXPECT_GE(leftInk.left(), left.left() + 2);
    EXPECT_LE(leftInk.left(), left.left() + 4) << "left-aligned: from the margin";
    EXPECT_GE(leftInk.top(), left.top() + 1) << "centred in the row";
    EXPECT_LE(leftInk.bottom(), left.bottom() - 1);
    const auto [right, rightInk] = ink(1, 3);
    EXPECT_LE(rightInk.right(), right.right() - 2);
    EXPECT_GE(rightInk.right(), right.right() - 4) << "right-aligned: up to the margin";
    const auto [twoLines, twoLinesInk] = ink(2, 1);
    EXPECT_LE(twoLinesInk.height(), leftInk.height() + 2) << "a line break shows as a blank";
    EXPECT_GT(twoLinesInk.width(), leftInk.width());
}

TEST_F(GridTest, TheGridsColourFillsTheAreaWithoutCellsToo)
{
    grid.setColor(QColor(255, 255, 225));
    const QImage shot = grid.viewport()->grab().toImage();
    EXPECT_EQ(shot.pixelColor(shot.width() - 2, shot.height() - 2), QColor(255, 255, 225));
    const QRect cell = grid.cellRect(2, 1);
    EXPECT_EQ(shot.pixelColor(cell.right() - 1, cell.bottom() - 1), QColor(255, 255, 225));
}

TEST_F(GridTest, ColumnsKeepTheirFieldWhenTheOperatorMovesThem)
{
    std::vector<std::string> clicked;
    grid.onCellClick = [&](TColumn& c) { clicked.push_back(str(c.fieldName())); };
    grid.horizontalHeader()->moveSection(0, 3); // IDCHECK dragged to the end
    EXPECT_EQ(grid.column(0).fieldName(), QStringLiteral("IDCHECK"));
    EXPECT_GT(grid.cellRect(1, 0).left(), grid.cellRect(1, 3).left());
    click(1, 0);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {},
                      QPoint(3, grid.cellRect(1, 1).center().y()));
    EXPECT_EQ(clicked, (std::vector<std::string>{"IDCHECK", "NMFANTCLIE"}));
}

TEST_F(GridTest, TitlesAndWidthsFollowTheColumnAndTheField)
{
    EXPECT_EQ(grid.column(1).title(), QStringLiteral("Cliente")); // the field's label
    EXPECT_EQ(grid.column(3).title(), QStringLiteral("VRFATU"));  // no label: the field name
    grid.column(3).setTitle(QStringLiteral("Valor"));
    EXPECT_EQ(grid.model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Valor"));

    EXPECT_EQ(grid.column(0).width(), 18);
    EXPECT_EQ(grid.horizontalHeader()->sectionSize(0), 18);
    const int avg = QFontMetrics(grid.font()).averageCharWidth();
    EXPECT_GE(grid.column(1).defaultWidth(), 50 * avg); // the field's display width wins
    const TColumn& flag = grid.column(2);               // a 1-character field: the title wins
    EXPECT_GE(flag.defaultWidth(),
              QFontMetrics(flag.titleFont()).horizontalAdvance(QStringLiteral("CHT Assinada")));
    EXPECT_EQ(grid.horizontalHeader()->sectionSize(2), flag.defaultWidth());

    QFont big = grid.titleFont();
    big.setPointSize(big.pointSize() * 3);
    const int before = flag.defaultWidth();
    grid.column(2).setTitleFont(big);
    EXPECT_GT(flag.defaultWidth(), before);
    EXPECT_EQ(grid.model()->headerData(2, Qt::Horizontal, Qt::FontRole).value<QFont>(), big);

    grid.horizontalHeader()->resizeSection(1, 77); // the operator resizes
    EXPECT_EQ(grid.column(1).width(), 77);
    EXPECT_EQ(grid.column(3).alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(grid.column(1).alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);

    grid.column(1).setVisible(false);
    EXPECT_TRUE(grid.isColumnHidden(1));
}

TEST_F(GridTest, RuntimeOptionsSwitchTitlesIndicatorAndResizing)
{
    EXPECT_TRUE(grid.horizontalHeader()->isVisible());
    EXPECT_TRUE(grid.verticalHeader()->isVisible());
    EXPECT_EQ(grid.horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
    grid.setOptions(grid.options() & ~TDBGridOptions(dgTitles | dgIndicator | dgColumnResize));
    EXPECT_FALSE(grid.horizontalHeader()->isVisible());
    EXPECT_FALSE(grid.verticalHeader()->isVisible());
    EXPECT_EQ(grid.horizontalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
    EXPECT_FALSE(grid.horizontalHeader()->sectionsMovable());
    grid.setOption(dgRowSelect, true);
    EXPECT_EQ(grid.selectionBehavior(), QAbstractItemView::SelectRows);
    grid.setOption(dgEditing, true);
    EXPECT_FALSE(grid.canEditColumn(2)); // whole-row selection never edits
}

TEST_F(GridTest, DisabledGridTakesNoClicks)
{
    int clicks = 0;
    grid.onCellClick = [&](TColumn&) { ++clicks; };
    grid.setEnabled(false);
    click(3, 1);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(set.cds.recNo(), 1);
}

TEST_F(GridTest, HandlerErrorsGoToTheErrorSinkAndTheGridCarriesOn)
{
    grid.onCellClick = [](TColumn&) { throw std::runtime_error("Falha no clique."); };
    click(2, 1);
    EXPECT_EQ(errors.messages, (std::vector<std::string>{"Falha no clique."}));
    EXPECT_EQ(set.cds.recNo(), 2);
}

TEST_F(GridTest, CtrlDeleteAsksFirstWithConfirmDelete)
{
    grid.setOption(dgEditing, true);
    std::vector<std::string> asked;
    bool answer = false;
    grid.onConfirmDelete = [&](const QString& q) {
        asked.push_back(str(q));
        return answer;
    };
    QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(set.cds.recordCount(), 4);
    answer = true;
    QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(set.cds.recordCount(), 3);
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(grid.model()->rowCount(), 3);
}

TEST_F(GridTest, ReloadReplacesTheRowsAndClosingEmptiesTheGrid)
{
    set.load({{"S", "Único", "S", 1.0}});
    EXPECT_EQ(grid.model()->rowCount(), 1);
    EXPECT_EQ(grid.model()->index(0, 1).data().toString(), QStringLiteral("Único"));
    EXPECT_EQ(grid.currentIndex().row(), 0);
    set.cds.close();
    EXPECT_EQ(grid.model()->rowCount(), 0);
}

TEST_F(GridTest, NewRowsUnderTheSameColumnsKeepTheTitleRowAndShowEveryRow)
{
    int resets = 0;
    QObject::connect(
        grid.model(), &QAbstractItemModel::modelReset, [&] { ++resets; });
    auto shown = [this](int row) { return grid.model()->index(row, 1).data().toString(); };

    set.cds.setRecNo(3);
    set.load({{"N", "Um", "N", 1},
              {"N", "Dois", "N", 2},
              {"N", "Três", "N", 3},
              {"N", "Quatro", "N", 4},
              {"N", "Cinco", "N", 5},
              {"N", "Seis", "N", 6}});
    EXPECT_EQ(grid.verticalHeader()->count(), 6);
    EXPECT_EQ(shown(5), QStringLiteral("Seis"));
    EXPECT_EQ(grid.currentIndex().row(), 0);
    set.load({{"S", "Único", "S", 1.0}});
    EXPECT_EQ(grid.verticalHeader()->count(), 1);
    EXPECT_EQ(shown(0), QStringLiteral("Único"));
    EXPECT_EQ(grid.selectionModel()->selectedIndexes(),
              QModelIndexList{grid.model()->index(0, grid.selectedIndex())});
    EXPECT_EQ(resets, 0);

    // A row appended and posted shows at once.
    set.cds.append();
    set.client.setAsString(QStringLiteral("Novo"));
    set.cds.post();
    EXPECT_EQ(grid.verticalHeader()->count(), 2);
    EXPECT_EQ(shown(1), QStringLiteral("Novo"));

    // A field that now reads otherwise gets its title anew with the next rows.
    set.client.displayLabel = QStringLiteral("Razão social");
    set.load();
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(grid.model()->headerData(1, Qt::Horizontal).toString(),
              QStringLiteral("Razão social"));
    EXPECT_EQ(grid.verticalHeader()->count(), 4);
}

TEST(GridWithoutColumns, ShowsOneColumnPerVisibleField)
{
    SampleSet set;
    set.value.visible = false;
    set.load();
    TDBGrid grid;
    grid.setDataSource(&set.dts);
    ASSERT_EQ(grid.columnCount(), 3);
    EXPECT_EQ(grid.column(2).fieldName(), QStringLiteral("IDCHTASSINADA"));
    EXPECT_EQ(grid.model()->index(1, 2).data().toString(), QStringLiteral("Sim"));
}

TEST(GridLifetime, DataSourceDyingBeforeTheGridIsForgotten)
{
    SampleSet set;
    set.load();
    TDBGrid grid;
    {
        TDataSource source(&set.cds);
        grid.setDataSource(&source);
        EXPECT_EQ(grid.model()->rowCount(), 4);
    }
    EXPECT_EQ(grid.dataSource(), nullptr);
    EXPECT_EQ(grid.model()->rowCount(), 0);
}

TEST(GridLarge, AMillionRowsAreDrawnOnlyWhereVisible)
{
    constexpr int kRows = 1'000'000;
    TClientDataSet cds(QStringLiteral("cdsGrande"));
    cds.addField(QStringLiteral("NRSEQUCHT"), wire::FieldType::Text, 7);
    cds.addField(QStringLiteral("VRFATU"), wire::FieldType::Float);
    wire::ColumnTable t(
        {{"NRSEQUCHT", wire::FieldType::Text, 7}, {"VRFATU", wire::FieldType::Float, 0}});
    t.reserveRows(kRows);
    for (int i = 0; i < kRows; ++i) {
        const std::size_t r = t.appendRow();
        t.setText(r, 0, std::to_string(i + 1));
        t.setNumber(r, 1, i * 0.5);
    }
    cds.loadFromPacket(std::move(t));
    TDataSource dts(&cds);
    TDBGrid grid;
    grid.setDataSource(&dts);
    grid.resize(300, 200);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));

    std::vector<int> painted;
    grid.onDrawColumnCell = [&](TDBGrid& g, const QRect&, int, TColumn&, TGridDrawState) {
        painted.push_back(g.paintedRecNo());
    };
    grid.viewport()->repaint();
    ASSERT_FALSE(painted.empty());
    EXPECT_LT(painted.size(), 100u);
    EXPECT_EQ(*std::max_element(painted.begin(), painted.end()) < 20, true);

    cds.last();
    EXPECT_EQ(grid.currentIndex().row(), kRows - 1);
    painted.clear();
    grid.viewport()->repaint();
    ASSERT_FALSE(painted.empty());
    EXPECT_LT(painted.size(), 100u);
    EXPECT_EQ(*std::max_element(painted.begin(), painted.end()), kRows);
    EXPECT_EQ(grid.model()->index(kRows - 1, 0).data().toString(), QStringLiteral("1000000"));
}

} // namespace
} // namespace cht::platform
