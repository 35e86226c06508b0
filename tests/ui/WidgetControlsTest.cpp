// The smaller controls: keyed bitmap copy, flat buttons and their groups, the date editor, the
// data-bound label, the record navigator and the filter of stale key repeats.
#include "WidgetTestSupport.h"

#include "platform/widgets/StaleRepeatFilter.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TCanvas.h"
#include "platform/widgets/TDBNavigator.h"
#include "platform/widgets/TDBText.h"
#include "platform/widgets/TDateEditPlus.h"
#include "platform/wire/OleDate.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPainter>
#include <QToolButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace cht::platform {
namespace {

using namespace widgets_testing;

// --- keyed bitmap copy ---------------------------------------------------------------------------

QImage oliveBitmap()
{
    QImage src(16, 16, QImage::Format_RGB32);
    src.fill(QColor(128, 128, 0));
    src.setPixelColor(3, 3, Qt::black);
    src.setPixelColor(15, 15, Qt::red);
    src.setPixelColor(0, 9, QColor(128, 128, 1)); // near the key, not the key
    return src;
}

TEST(KeyedBitmap, ReplacesOnlyTheKeyColourUnscaledAndCutAtTheDestination)
{
    for (const QImage& src :
         {oliveBitmap(), oliveBitmap().convertToFormat(QImage::Format_Indexed8)}) {
        QImage target(40, 14, QImage::Format_RGB32);
        target.fill(Qt::white);
        {
            QPainter p(&target);
            drawBitmapKeyed(p, QRect(5, 0, 16, 10), src, QRect(0, 0, 16, 10), QColor(128, 128, 0),
                            Qt::blue);
        }
        EXPECT_EQ(target.pixelColor(5, 0), QColor(Qt::blue));
        EXPECT_EQ(target.pixelColor(8, 3), QColor(Qt::black));   // unscaled: same offset
        EXPECT_EQ(target.pixelColor(5, 9), QColor(128, 128, 1)); // only the exact key goes
        EXPECT_EQ(target.pixelColor(20, 9), QColor(Qt::blue));
        EXPECT_EQ(target.pixelColor(5, 10), QColor(Qt::white)); // cut at the destination height
        EXPECT_EQ(target.pixelColor(21, 0), QColor(Qt::white)); // and width
        EXPECT_EQ(target.pixelColor(4, 0), QColor(Qt::white));
    }
}

TEST(KeyedBitmap, SourceRectangleOffsetAndCanvasBrush)
{
    QImage target(20, 20, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter p(&target);
    TCanvas canvas(&p);
    canvas.setBrushColor(Qt::yellow);
    // A source rectangle reaching past the image copies only what the image has.
    canvas.drawBitmapKeyed(QRect(0, 0, 10, 10), oliveBitmap(), QRect(2, 2, 20, 20));
    p.end();
    EXPECT_EQ(target.pixelColor(1, 1), QColor(Qt::black));
    EXPECT_EQ(target.pixelColor(0, 0), QColor(Qt::yellow));
    EXPECT_EQ(target.pixelColor(9, 9), QColor(Qt::yellow));
    EXPECT_EQ(target.pixelColor(10, 10), QColor(Qt::white));
}

TEST(KeyedBitmap, KeyColourBecomesTransparentForLegends)
{
    const QImage out = withKeyTransparent(oliveBitmap().convertToFormat(QImage::Format_Indexed8));
    EXPECT_EQ(out.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(out.pixelColor(3, 3), QColor(Qt::black));
    EXPECT_EQ(out.pixelColor(0, 9), QColor(128, 128, 1));
}

TEST(Canvas, TextRectFillsWithTheBrushAndClipsTheText)
{
    QImage target(60, 20, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter p(&target);
    TCanvas canvas(&p);
    canvas.setBrushColor(Qt::green);
    canvas.setFontColor(Qt::black);
    canvas.textRect(QRect(0, 0, 10, 20), 2, 2, QStringLiteral("MMMMMMMM"));
    p.end();
    EXPECT_EQ(target.pixelColor(0, 0), QColor(Qt::green));
    bool inked = false;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 10; ++x)
            inked = inked || target.pixelColor(x, y) != QColor(Qt::green);
    EXPECT_TRUE(inked);
    for (int y = 0; y < 20; ++y)
        for (int x = 10; x < 60; ++x)
            ASSERT_EQ(target.pixelColor(x, y), QColor(Qt::white)) << x << "," << y;
}

// --- flat buttons --------------------------------------------------------------------------------

struct ButtonGroup {
    QWidget panel;
    TButtonFlat* a = new TButtonFlat(&panel);
    TButtonFlat* b = new TButtonFlat(&panel);
    TButtonFlat* plain = new TButtonFlat(&panel);
    std::vector<std::string> log;

    ButtonGroup()
    {
        a->setGroupIndex(1);
        b->setGroupIndex(1);
        a->onClick = [this](QObject* s) {
            log.push_back(std::string("a ") +
                          (static_cast<TButtonFlat*>(s)->Down() ? "down" : "up"));
        };
        b->onClick = [this](QObject*) {
            log.push_back(std::string("b ") + (b->Down() ? "down" : "up"));
        };
        plain->onClick = [this](QObject*) { log.push_back("plain"); };
        panel.show();
    }
};

TEST(ButtonFlat, GroupIsMutuallyExclusiveAndPressedOneStaysDownWithoutAllowAllUp)
{
    ButtonGroup g;
    QTest::mouseClick(g.a, Qt::LeftButton);
    EXPECT_TRUE(g.a->Down());
    QTest::mouseClick(g.b, Qt::LeftButton);
    EXPECT_TRUE(g.b->Down());
    EXPECT_FALSE(g.a->Down());
    QTest::mouseClick(g.b, Qt::LeftButton); // no AllowAllUp: stays down
    EXPECT_TRUE(g.b->Down());
    g.b->SetDown(false); // nor can it be released by code
    EXPECT_TRUE(g.b->Down());
    EXPECT_EQ(g.log, (std::vector<std::string>{"a down", "b down", "b down"}));
}

TEST(ButtonFlat, AllowAllUpLetsEachClickFlipTheState)
{
    ButtonGroup g;
    g.a->SetAllowAllUp(true);
    EXPECT_TRUE(g.b->AllowAllUp()); // shared by the group
    g.a->click();
    g.a->click();
    g.a->click();
    EXPECT_EQ(g.log, (std::vector<std::string>{"a down", "a up", "a down"}));
    g.b->SetDown(true); // by code: no click handler, the other is released
    EXPECT_FALSE(g.a->Down());
    EXPECT_EQ(g.log.size(), 3u);
    g.b->SetDown(false);
    EXPECT_FALSE(g.b->Down());
}

TEST(ButtonFlat, PlainButtonNeverDownAndDisabledButtonNotClicked)
{
    ButtonGroup g;
    g.plain->SetDown(true);
    EXPECT_FALSE(g.plain->Down());
    QTest::mouseClick(g.plain, Qt::LeftButton);
    EXPECT_FALSE(g.plain->Down());
    g.plain->setEnabled(false);
    EXPECT_FALSE(g.plain->Enabled());
    QTest::mouseClick(g.plain, Qt::LeftButton);
    g.plain->click();
    EXPECT_EQ(g.log, (std::vector<std::string>{"plain"}));
    g.plain->setToolTip(QStringLiteral("Consultar Vencimentos"));
    EXPECT_EQ(g.plain->toolTip(), QStringLiteral("Consultar Vencimentos"));
}

TEST(ButtonFlat, ClickHandlerErrorsGoToTheSink)
{
    ErrorCatcher errors;
    ButtonGroup g;
    g.plain->onClick = [](QObject*) { throw std::runtime_error("Sem conexão."); };
    g.plain->click();
    EXPECT_EQ(errors.messages, (std::vector<std::string>{"Sem conexão."}));
}

// --- date editor ---------------------------------------------------------------------------------

double ole(int y, int m, int d)
{
    wire::CivilDateTime c;
    c.year = y;
    c.month = m;
    c.day = d;
    return wire::oleFromCivil(c);
}

TEST(DateEditPlus, TypedDatesReadAsOleDayNumbers)
{
    TDateEditPlus edit;
    edit.show();
    EXPECT_EQ(edit.typedText(), QString());
    EXPECT_EQ(edit.GetDate(), 0.0);
    EXPECT_NO_THROW(edit.CheckValidDate());

    QTest::keyClicks(&edit, QStringLiteral("31122026"));
    EXPECT_EQ(edit.typedText(), QStringLiteral("31/12/2026"));
    EXPECT_EQ(edit.GetDate(), ole(2026, 12, 31));
    EXPECT_NO_THROW(edit.CheckValidDate());
    EXPECT_EQ(edit.weekDayName(), QStringLiteral("Quinta-feira"));
    EXPECT_EQ(edit.toolTip(), QStringLiteral("Quinta-feira"));

    edit.SetDate(ole(2024, 2, 29) + 0.75);
    EXPECT_EQ(edit.typedText(), QStringLiteral("29/02/2024"));
    EXPECT_EQ(edit.GetDate(), ole(2024, 2, 29));
    edit.SetSaveTime(true);
    EXPECT_DOUBLE_EQ(edit.GetDate(), ole(2024, 2, 29) + 0.75);
    edit.SetDate(0);
    EXPECT_EQ(edit.typedText(), QString());
}

TEST(DateEditPlus, ImpossibleOrIncompleteDatesAreRefusedInPortuguese)
{
    TDateEditPlus edit;
    for (const QString& typed : {QStringLiteral("31022026"), QStringLiteral("0101"),
                                 QStringLiteral("00012026"), QStringLiteral("15132026")}) {
        edit.clear();
        QTest::keyClicks(&edit, typed);
        SCOPED_TRACE(typed.toStdString());
        EXPECT_FALSE(edit.isValidDate());
        EXPECT_EQ(edit.GetDate(), 0.0);
        try {
            edit.CheckValidDate();
            ADD_FAILURE() << "no error";
        } catch (const DateEditError& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find("não é uma data válida"), std::string::npos) << what;
        }
    }
    edit.setText(QStringLiteral("29/02/2025"));
    EXPECT_THROW(edit.CheckValidDate(), std::runtime_error);
    edit.setText(QStringLiteral("01/03/26"));
    EXPECT_EQ(edit.GetDate(), ole(2026, 3, 1)); // two-digit years are this century's
}

TEST(DateEditPlus, ValidColoursFollowTheText)
{
    TDateEditPlus edit;
    edit.setValidColors(true);
    edit.setText(QStringLiteral("01/01/2026"));
    EXPECT_EQ(edit.palette().color(QPalette::Text), edit.validColor());
    edit.setText(QStringLiteral("32/01/2026"));
    EXPECT_EQ(edit.palette().color(QPalette::Text), edit.invalidColor());
}

// --- data-bound label and navigator --------------------------------------------------------------

TEST(DBText, ShowsTheCurrentRecordsDisplayText)
{
    SampleSet set;
    TDBText label;
    label.setDataSource(&set.dts);
    label.setDataField(QStringLiteral("IDCHTASSINADA"));
    EXPECT_EQ(label.text(), QString()); // closed
    set.load();
    EXPECT_EQ(label.text(), QStringLiteral("Não"));
    set.cds.next();
    EXPECT_EQ(label.text(), QStringLiteral("Sim"));
    set.cds.edit();
    set.signedFlag.setAsString(QStringLiteral("N"));
    EXPECT_EQ(label.text(), QStringLiteral("Não"));
    set.cds.cancel();
    EXPECT_EQ(label.text(), QStringLiteral("Sim"));
    set.load({});
    EXPECT_EQ(label.text(), QString()); // empty
    label.setDataField(QStringLiteral("NAOEXISTE"));
    EXPECT_EQ(label.text(), QString());
}

TEST(DBNavigator, ButtonsActOnTheSetAndFollowItsState)
{
    SampleSet set;
    set.load();
    TDBNavigator nav;
    nav.onRefresh = [] {};
    nav.setDataSource(&set.dts);
    const char* hints[] = {"Primeiro", "Anterior", "Próximo",  "Último",
                           "Gravar",   "Cancelar", "Atualizar"};
    for (int i = 0; i < TDBNavigator::kButtonCount; ++i)
        EXPECT_EQ(nav.button(static_cast<TNavigateBtn>(i))->toolTip(), QString::fromUtf8(hints[i]));

    auto enabled = [&](TNavigateBtn b) { return nav.button(b)->isEnabled(); };
    EXPECT_FALSE(enabled(TNavigateBtn::nbFirst)); // on the first row after a load
    EXPECT_TRUE(enabled(TNavigateBtn::nbNext));
    EXPECT_FALSE(enabled(TNavigateBtn::nbPost));
    EXPECT_TRUE(enabled(TNavigateBtn::nbRefresh));

    std::vector<TNavigateBtn> clicked;
    nav.onClick = [&](TNavigateBtn b) { clicked.push_back(b); };
    QTest::mouseClick(nav.button(TNavigateBtn::nbNext), Qt::LeftButton);
    EXPECT_EQ(set.cds.recNo(), 2);
    EXPECT_TRUE(enabled(TNavigateBtn::nbPrior));
    nav.btnClick(TNavigateBtn::nbLast);
    EXPECT_EQ(set.cds.recNo(), 4);
    EXPECT_FALSE(enabled(TNavigateBtn::nbNext));
    EXPECT_FALSE(enabled(TNavigateBtn::nbLast));

    set.cds.edit();
    set.client.setAsString(QStringLiteral("Outro nome"));
    EXPECT_TRUE(enabled(TNavigateBtn::nbPost));
    EXPECT_TRUE(enabled(TNavigateBtn::nbCancel));
    nav.btnClick(TNavigateBtn::nbPost);
    EXPECT_EQ(set.cds.state(), DataSetState::Browse);
    EXPECT_EQ(set.cds.changeCount(), 1);
    EXPECT_FALSE(enabled(TNavigateBtn::nbPost));
    nav.btnClick(TNavigateBtn::nbFirst);
    EXPECT_EQ(set.cds.recNo(), 1);
    EXPECT_EQ(clicked, (std::vector<TNavigateBtn>{TNavigateBtn::nbNext, TNavigateBtn::nbLast,
                                                  TNavigateBtn::nbPost, TNavigateBtn::nbFirst}));
    set.cds.close();
    for (int i = 0; i < TDBNavigator::kButtonCount; ++i)
        EXPECT_FALSE(nav.button(static_cast<TNavigateBtn>(i))->isEnabled());
}

// --- stale key repeats -------------------------------------------------------------------------

class KeyCounter : public QWidget {
public:
    int presses = 0;

protected:
    void keyPressEvent(QKeyEvent*) override { ++presses; }
};

TEST(StaleRepeatFilter, DropsOnlyRepeatsMadeBeforeTheBusySpellEnded)
{
    KeyCounter w;
    StaleRepeatFilter filter(&w);
    QElapsedTimer clock;
    const quint64 base = 4000000000ull; // the window system's clock, unrelated to ours
    auto press = [&](quint64 stamp, bool repeat) {
        QKeyEvent e(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), repeat);
        e.setTimestamp(stamp);
        QCoreApplication::sendEvent(&w, &e);
    };
    auto now = [&] { return base + static_cast<quint64>(clock.elapsed()); };
    clock.start();
    press(base, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    filter.busyEnded();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));

    press(base + 15, true); // made during the busy spell, delivered after it
    EXPECT_EQ(w.presses, 1);
    press(base + 15, false); // pressed on purpose: typed ahead, kept
    press(0, true);          // no window-system stamp: nothing to judge by
    press(now(), true);      // made after the spell
    EXPECT_EQ(w.presses, 4);
    EXPECT_EQ(filter.dropped(), 1);

    // As X11 repeats: a release and a press stamped alike, the press not marked as a repeat.
    auto release = [&](quint64 stamp) {
        QKeyEvent e(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier);
        e.setTimestamp(stamp);
        QCoreApplication::sendEvent(&w, &e);
    };
    release(base + 20);
    press(base + 20, false);
    EXPECT_EQ(w.presses, 4) << "an X11 repeat made during the spell";
    release(base + 20);
    press(base + 25, false);
    EXPECT_EQ(w.presses, 5) << "pressed again on purpose after letting go";
    EXPECT_EQ(filter.dropped(), 2);

    // A clock that wrapped: stamps start again near zero, and are not all taken for stale.
    press(7, true);
    EXPECT_EQ(w.presses, 6);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    filter.busyEnded();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    press(9, true);
    EXPECT_EQ(w.presses, 6) << "related to the new clock: made before the spell ended";
    EXPECT_EQ(filter.dropped(), 3);
}

} // namespace
} // namespace cht::platform
