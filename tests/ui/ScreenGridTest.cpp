// The CHT grid: who may tick, tick-all and its direction, the keyboard, the client-OK toggle and
// the signed flag saved through SetCHT, the change log surviving a failed save, and the pictures.
#include "ScreenTestSupport.h"

#include "module/contracts/Forms.h"
#include "module/contracts/Showavi.h"
#include "platform/widgets/TColumn.h"
#include "platform/widgets/TDBGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

using cht::framework::Application;
using cht::framework::TCursor;
using cht::platform::DataSetState;
using cht::platform::TColumn;
using cht::wire::RpcArg;
using namespace screen_test;

namespace {

class Grid : public OpenScreenTest {
protected:
    // Rows: 1 own pending, 2 own billed, 3 another manager's, 4 own marked "D", 5 own approved.
    void loadMixed()
    {
        load(*screen, *server,
             {{QStringLiteral("00001"), QStringLiteral("P")},
              {QStringLiteral("00002"), QStringLiteral("R")},
              {QStringLiteral("00003"), QStringLiteral("P"), {}, {}, QStringLiteral("MARIA")},
              {QStringLiteral("00004"),
               QStringLiteral("N"),
               {},
               {},
               QStringLiteral("DEMO"),
               QStringLiteral("D")},
              {QStringLiteral("00005"), QStringLiteral("A")}});
        server->requests.clear();
    }

    TColumn& col(const char* field) { return *screen->dbgPadrao->columnByFieldName(field); }

    QString at(int recNo, const char* field)
    {
        screen->cdsCancelaCHT.setActiveRecord(recNo);
        const QString v = screen->cdsCancelaCHT.fieldByName(QLatin1String(field)).asString();
        screen->cdsCancelaCHT.setActiveRecord(0);
        return v;
    }

    QStringList ticks()
    {
        QStringList out;
        for (int r = 1; r <= screen->cdsCancelaCHT.recordCount(); ++r)
            out << at(r, "IDCHECK");
        return out;
    }

    void clickCell(int recNo, const char* field)
    {
        screen->cdsCancelaCHT.setRecNo(recNo);
        screen->dbgPadraoCellClick(col(field));
    }

    void pressSpace(const char* field, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        screen->dbgPadrao->setSelectedIndex(col(field).index());
        screen->dbgPadrao->setFocus();
        QTest::keyClick(screen->dbgPadrao, Qt::Key_Space, mods);
    }

    /// Rows of the last SetCHT's delta, as their NRSEQUCHT.
    QStringList deltaSeqs(std::size_t request)
    {
        const cht::wire::DeltaPacket& d = server->requests.at(request).params.at(0).delta;
        const int seq = d.indexOf("NRSEQUCHT");
        QStringList out;
        for (std::size_t c = 0; c < d.size(); ++c)
            out << QString::fromStdString(std::string(d.before().text(c, seq)));
        out.sort();
        return out;
    }

    bool reactionsAttached()
    {
        return screen->dtsPadrao.onStateChange && screen->cdsCancelaCHT.afterScroll &&
               screen->cdsCancelaCHT.afterPost;
    }
};

TEST_F(Grid, OnlyTheOperatorsUnbilledRowsTickAndTickingCallsNothing)
{
    loadMixed();
    for (int r = 1; r <= 5; ++r)
        clickCell(r, "IDCHECK");
    EXPECT_EQ(ticks(), (QStringList{"S", "N", "N", "D", "S"}))
        << "billed, other manager's and \"D\" rows stay as they were";
    clickCell(1, "IDCHECK");
    EXPECT_EQ(at(1, "IDCHECK"), QStringLiteral("N")) << "a second click unticks";
    EXPECT_TRUE(server->requests.empty()) << "ticks travel with the next save only";
    EXPECT_GT(screen->cdsCancelaCHT.changeCount(), 0);
    EXPECT_TRUE(reactionsAttached());
}

TEST_F(Grid, TickAllTouchesOnlyTickableRowsAlternatesAndRestartsAfterALoad)
{
    loadMixed();
    screen->cdsCancelaCHT.setRecNo(4);
    clickCell(5, "IDCHECK"); // ticked one by one: the pass still goes by its own direction
    screen->dbgPadraoTitleClick(col("IDCHECK"));
    EXPECT_EQ(ticks(), (QStringList{"S", "N", "N", "S", "S"})) << "\"D\" is overwritten";
    EXPECT_EQ(screen->cdsCancelaCHT.recNo(), 1) << "the pass leaves the first row current";
    EXPECT_TRUE(Cli_cot09800::boTodosServ);
    screen->dbgPadraoTitleClick(col("IDCHECK"));
    EXPECT_EQ(ticks(), (QStringList{"N", "N", "N", "N", "N"}));
    EXPECT_FALSE(Cli_cot09800::boTodosServ);
    EXPECT_TRUE(server->requests.empty());
    EXPECT_TRUE(reactionsAttached());
    EXPECT_FALSE(screen->cdsCancelaCHT.controlsDisabled());
    EXPECT_EQ(Application::Cursor(), TCursor::crDefault);

    // Another column's title changes nothing.
    screen->dbgPadraoTitleClick(col("NMFANTCLIE"));
    EXPECT_FALSE(Cli_cot09800::boTodosServ);

    // A reload resets the direction: the next pass ticks again.
    screen->dbgPadraoTitleClick(col("IDCHECK"));
    ASSERT_TRUE(Cli_cot09800::boTodosServ);
    loadMixed();
    screen->dbgPadraoTitleClick(col("IDCHECK"));
    EXPECT_EQ(at(1, "IDCHECK"), QStringLiteral("S"));

    // No tickable row at all: nothing changes, the direction still flips.
    load(*screen, *server, {{QStringLiteral("00009"), QStringLiteral("R")}});
    screen->dbgPadraoTitleClick(col("IDCHECK"));
    EXPECT_EQ(ticks(), QStringList{"N"});
    EXPECT_TRUE(Cli_cot09800::boTodosServ);
}

TEST_F(Grid, ATickAllPassThatRaisesRestoresReactionsControlsAndCursor)
{
    loadMixed();
    int posts = 0;
    screen->cdsCancelaCHT.beforePost = [&](cht::platform::TClientDataSet&) {
        if (++posts == 2)
            throw std::runtime_error("registro bloqueado");
    };
    EXPECT_THROW(screen->dbgPadraoTitleClick(col("IDCHECK")), std::runtime_error);
    screen->cdsCancelaCHT.beforePost = nullptr;
    screen->cdsCancelaCHT.cancel();
    EXPECT_TRUE(reactionsAttached());
    EXPECT_FALSE(screen->cdsCancelaCHT.controlsDisabled());
    EXPECT_EQ(Application::Cursor(), TCursor::crDefault);
    EXPECT_FALSE(Cli_cot09800::boTodosServ) << "an unfinished pass ticks again next time";
}

TEST_F(Grid, SpaceAndCtrlSpaceInBothToggleColumns)
{
    loadMixed();
    screen->cdsCancelaCHT.setRecNo(1);
    pressSpace("IDCHECK");
    EXPECT_EQ(at(1, "IDCHECK"), QStringLiteral("S"));
    pressSpace("IDCHECK", Qt::ShiftModifier);
    EXPECT_EQ(at(1, "IDCHECK"), QStringLiteral("N")) << "Shift does not matter";
    pressSpace("IDCHECK", Qt::ControlModifier);
    EXPECT_EQ(ticks(), (QStringList{"S", "N", "N", "S", "S"})) << "Ctrl+Space ticks all";
    EXPECT_TRUE(server->requests.empty());

    // In the client-OK column Ctrl+Space toggles the current row only, and saves it.
    screen->cdsCancelaCHT.setRecNo(2);
    pressSpace("IDCHTPGTOOK", Qt::ControlModifier);
    EXPECT_EQ(at(2, "IDCHTPGTOOK"), QStringLiteral("S"));
    EXPECT_EQ(at(3, "IDCHTPGTOOK"), QString());
    ASSERT_EQ(server->methods(), QStringList{"SetCHT"});
    EXPECT_EQ(screen->cdsCancelaCHT.changeCount(), 0);
}

TEST_F(Grid, ClienteOkFlipsOnAnyRowAndSavesTheWholeLogAtOnce)
{
    loadMixed();
    clickCell(1, "IDCHECK");
    clickCell(5, "IDCHECK");
    EXPECT_TRUE(server->requests.empty());
    clickCell(2, "IDCHTPGTOOK"); // a billed row: no status or manager test here
    EXPECT_EQ(at(2, "IDCHTPGTOOK"), QStringLiteral("S")) << "empty becomes \"S\"";
    ASSERT_EQ(server->methods(), QStringList{"SetCHT"});
    EXPECT_EQ(deltaSeqs(0), (QStringList{"00001", "00002", "00005"})) << "ticks go along";
    EXPECT_EQ(screen->cdsCancelaCHT.changeCount(), 0) << "merged after the server took it";
    EXPECT_FALSE(cht::framework::ShowAviActive());

    clickCell(2, "IDCHTPGTOOK");
    EXPECT_EQ(at(2, "IDCHTPGTOOK"), QStringLiteral("N"));
    ASSERT_EQ(server->methods().size(), 2);
    EXPECT_EQ(deltaSeqs(1), QStringList{"00002"});
    const cht::wire::DeltaPacket& d = server->requests[1].params[0].delta;
    const int ok = d.indexOf("IDCHTPGTOOK");
    EXPECT_EQ(d.before().text(0, ok), "S");
    EXPECT_EQ(d.after().text(0, ok), "N");
}

TEST_F(Grid, AFailedSaveLosesNothingAndTheNextSaveSendsBoth)
{
    loadMixed();
    server->nextSetCHT = FakeServer::Failure::Server;
    errors().clear();
    Application::Dispatch([&] { clickCell(1, "IDCHTPGTOOK"); });
    ASSERT_EQ(errors().size(), 1) << "shown once, by the host's display";
    EXPECT_TRUE(errors()[0].contains(QStringLiteral("Gravação recusada")))
        << errors()[0].toStdString();
    EXPECT_EQ(at(1, "IDCHTPGTOOK"), QStringLiteral("S")) << "the posted value stays in the list";
    EXPECT_EQ(screen->cdsCancelaCHT.changeCount(), 1);
    EXPECT_FALSE(cht::framework::ShowAviActive());

    clickCell(3, "IDCHTPGTOOK");
    ASSERT_EQ(server->methods(), (QStringList{"SetCHT", "SetCHT"}));
    EXPECT_EQ(deltaSeqs(1), (QStringList{"00001", "00003"}));
    EXPECT_EQ(screen->cdsCancelaCHT.changeCount(), 0);

    // A failed save followed by a reload: the unsent change is gone.
    server->nextSetCHT = FakeServer::Failure::Server;
    Application::Dispatch([&] { clickCell(5, "IDCHTPGTOOK"); });
    loadMixed();
    EXPECT_EQ(at(5, "IDCHTPGTOOK"), QString());
    EXPECT_EQ(screen->cdsCancelaCHT.changeCount(), 0);
}

TEST_F(Grid, CancellingSendsPendingTicksAndNothingWhenNothingIsPending)
{
    loadMixed();
    screen->cdsCancelaCHT.edit();
    screen->cdsCancelaCHT.cancel();
    EXPECT_TRUE(server->requests.empty()) << "nothing logged: no call, no animation";

    clickCell(1, "IDCHECK");
    screen->cdsCancelaCHT.edit();
    screen->cdsCancelaCHT.cancel();
    ASSERT_EQ(server->methods(), QStringList{"SetCHT"});
    EXPECT_EQ(deltaSeqs(0), QStringList{"00001"});
}

TEST_F(Grid, OnlyTheSignedColumnEditsAndLeavingItPostsARealChange)
{
    loadMixed();
    cht::platform::TDBGrid& g = *screen->dbgPadrao;
    g.setSelectedIndex(col("IDCHTASSINADA").index());
    EXPECT_TRUE(g.hasOption(cht::platform::dgEditing));
    g.setSelectedIndex(col("NMFUNC").index());
    EXPECT_FALSE(g.hasOption(cht::platform::dgEditing));

    // Row 1 holds "N": "Sim" then leaving the column posts and saves.
    screen->cdsCancelaCHT.setRecNo(1);
    screen->cdsCancelaCHT.edit();
    screen->cdsCancelaCHTIDCHTASSINADA->setAsString(QStringLiteral("N"));
    screen->cdsCancelaCHT.post();
    server->requests.clear();
    g.setSelectedIndex(col("IDCHTASSINADA").index());
    g.writeEditorText(col("IDCHTASSINADA").index(), QStringLiteral("Sim"));
    EXPECT_EQ(screen->cdsCancelaCHT.state(), DataSetState::Edit);
    g.setSelectedIndex(col("IDCHTPGTOOK").index());
    EXPECT_EQ(screen->cdsCancelaCHT.state(), DataSetState::Browse);
    ASSERT_EQ(server->methods(), QStringList{"SetCHT"});
    EXPECT_EQ(at(1, "IDCHTASSINADA"), QStringLiteral("S"));

    // "Não" back to the stored value, or a lower-case "sim", posts nothing.
    g.setSelectedIndex(col("IDCHTASSINADA").index());
    g.writeEditorText(col("IDCHTASSINADA").index(), QStringLiteral("Não"));
    g.writeEditorText(col("IDCHTASSINADA").index(), QStringLiteral("Sim"));
    g.writeEditorText(col("IDCHTASSINADA").index(), QStringLiteral("sim"));
    EXPECT_EQ(at(1, "IDCHTASSINADA"), QStringLiteral("S"));
    g.setSelectedIndex(col("NMFUNC").index());
    EXPECT_EQ(server->methods().size(), 1);
}

TEST_F(Grid, CodedColumnsShowTheirTextsAndUnknownLettersShowNothing)
{
    loadMixed();
    screen->cdsCancelaCHT.setRecNo(1);
    screen->cdsCancelaCHT.edit();
    screen->cdsCancelaCHTIDTIPOCOBRCONT->setAsString(QStringLiteral("P"));
    screen->cdsCancelaCHTIDTIPOPROPFAS->setAsString(QStringLiteral("M"));
    EXPECT_EQ(screen->cdsCancelaCHTIDTIPOCOBRCONT->displayText(), QStringLiteral("Vr.Pacote"));
    EXPECT_EQ(screen->cdsCancelaCHTIDTIPOPROPFAS->displayText(), QStringLiteral("LU/Manutenção"));
    screen->cdsCancelaCHTIDTIPOCOBRCONT->setAsString(QStringLiteral("X"));
    EXPECT_EQ(screen->cdsCancelaCHTIDTIPOCOBRCONT->displayText(), QString());
    screen->cdsCancelaCHT.cancel();
}

// --- painting ---------------------------------------------------------------------------------

class Painting : public Grid {
protected:
    QImage shot() { return gridShot(*screen->dbgPadrao); }
    QRect cell(int recNo, const char* field) { return gridCell(*screen->dbgPadrao, recNo, field); }
    static constexpr QRgb kOlive = 0x808000, kGrey = 0xC0C0C0, kWhite = 0xFFFFFF, kBlack = 0;
};

TEST_F(Painting, BoxesBallsAndMarksFollowTheRowsValues)
{
    loadMixed();
    screen->cdsCancelaCHT.setRecNo(5);
    screen->cdsCancelaCHT.edit();
    screen->cdsCancelaCHTIDCDAOK->setAsString(QStringLiteral("N"));
    screen->cdsCancelaCHTIDCHTPGTOOK->setAsString(QStringLiteral("S"));
    screen->cdsCancelaCHT.post();
    clickCell(1, "IDCHECK");
    screen->dbgPadrao->setSelectedIndex(col("NMFUNC").index());
    const QImage img = shot();

    // The box: 10 x 10 at pixels 2..11 of the picture, drawn 1 pixel into the cell.
    auto boxInside = [&](int recNo) {
        const QRect c = cell(recNo, "IDCHECK");
        return colours(img, QRect(c.left() + 1 + 4, c.top() + 4, 6, 6));
    };
    EXPECT_TRUE(boxInside(1).contains(kBlack)) << "ticked: a black mark inside";
    EXPECT_EQ(boxInside(5), QSet<QRgb>{kWhite}) << "not ticked: empty white box";
    EXPECT_EQ(boxInside(2), QSet<QRgb>{kGrey}) << "billed: greyed box";
    EXPECT_EQ(boxInside(3), QSet<QRgb>{kGrey}) << "another manager's: greyed box";
    const QRect d = cell(4, "IDCHECK");
    EXPECT_EQ(colours(img, d).size(), 1) << "\"D\": no box at all";

    auto centre = [&](int recNo, const char* field, int offset, int size) {
        const QRect c = cell(recNo, field);
        return img.pixel(c.left() + offset + size / 2, c.top() + size / 2) & 0xFFFFFFu;
    };
    EXPECT_EQ(centre(1, "IDSTATUSCHT", 1, 17), 0xE0E080u) << "pending: the yellow ball";
    EXPECT_EQ(centre(2, "IDSTATUSCHT", 1, 17), 0x00C000u) << "billed: the green ball";
    EXPECT_EQ(centre(5, "IDSTATUSCHT", 1, 17), 0x60A0C0u) << "approved: the blue ball";
    EXPECT_EQ(centre(4, "IDSTATUSCHT", 1, 17), 0xA0A0A4u) << "not to be billed: the grey ball";

    // Client OK: a box 20 pixels in, never greyed; CDA OK: the cross, or nothing when empty.
    const QRect ok = cell(5, "IDCHTPGTOOK");
    EXPECT_TRUE(colours(img, QRect(ok.left() + 24, ok.top() + 4, 6, 6)).contains(kBlack));
    const QRect okEmpty = cell(2, "IDCHTPGTOOK");
    EXPECT_EQ(colours(img, QRect(okEmpty.left() + 24, okEmpty.top() + 4, 6, 6)),
              QSet<QRgb>{kWhite});
    EXPECT_TRUE(colours(img, cell(5, "IDCDAOK")).contains(0xFF0000u)) << "\"N\": the red cross";
    EXPECT_EQ(colours(img, cell(1, "IDCDAOK")).size(), 1) << "empty: nothing";

    for (int r = 1; r <= 5; ++r)
        for (const char* f : {"IDCHECK", "IDSTATUSCHT", "IDCDAOK", "IDCHTPGTOOK"})
            EXPECT_FALSE(colours(img, cell(r, f)).contains(kOlive)) << "row " << r << " " << f;
}

TEST_F(Painting, TheHighlightedCellTakesTheHighlightAndLowRowsCutThePicture)
{
    loadMixed();
    screen->cdsCancelaCHT.setRecNo(2);
    cht::platform::TDBGrid& g = *screen->dbgPadrao;
    g.setSelectedIndex(col("IDSTATUSCHT").index());
    g.setFocus();
    QImage img = shot();
    const QRgb highlight = g.palette().color(QPalette::Highlight).rgb() & 0xFFFFFFu;
    const QRect ball = cell(2, "IDSTATUSCHT");
    EXPECT_EQ(img.pixel(ball.left() + 1, ball.top()) & 0xFFFFFFu, highlight)
        << "the picture's olive corner is drawn in the highlight";
    EXPECT_FALSE(colours(img, ball).contains(kOlive));

    g.setDefaultRowHeight(10);
    img = shot();
    const QRect low = cell(1, "IDSTATUSCHT");
    ASSERT_EQ(low.height(), 9); // the row line takes the last pixel
    EXPECT_EQ(img.pixel(low.left() + 9, low.top() + 8) & 0xFFFFFFu, 0xE0E080u)
        << "unscaled: the ball's centre stays 8 pixels down, its lower part is cut";
    EXPECT_TRUE(colours(img, low).contains(0x000000u)) << "the top of the ball shows";
}

TEST_F(Painting, TheTickColumnTitleIsACheckMark)
{
    const TColumn& tick = col("IDCHECK");
    EXPECT_EQ(tick.title(), QStringLiteral("4"));
    EXPECT_FALSE(tick.titleImage().isNull());
    const QVariant shown =
        screen->dbgPadrao->model()->headerData(tick.index(), Qt::Horizontal, Qt::DisplayRole);
    EXPECT_EQ(shown.toString(), QString()) << "the digit is not drawn";
}

} // namespace
