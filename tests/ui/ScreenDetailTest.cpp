// The current CHT's details against a fake server: the CDA query on tab opening and on each row
// change while the CDA tab shows, the parcels following the row on the CHT tab only, failures
// keeping what was shown, the CDA marks painted, and a held arrow key while each row queries.
#include "ScreenTestSupport.h"

#include "module/contracts/Forms.h"
#include "module/contracts/Showavi.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TColumn.h"
#include "platform/widgets/TDBGrid.h"
#include "platform/widgets/TDBNavigator.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QInputDevice>
#include <QKeyEvent>
#include <QLabel>
#include <QSet>
#include <QSplitter>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

using cht::framework::Application;
using cht::platform::TNavigateBtn;
using namespace screen_test;

namespace {

class Detail : public OpenScreenTest {
protected:
    void SetUp() override
    {
        OpenScreenTest::SetUp();
        errors().clear();
    }

    /// Loads CHTs whose key and client fields all differ: row i gets "C<i>", "F<i>", "T<i>",
    /// "P<i>", "V<i>", "<i>", "E<i>", "S<i>". `billing` gives each row's IDTIPOCOBRSERV.
    void loadKeyed(const QStringList& billing)
    {
        std::vector<Cht> rows;
        for (int i = 0; i < billing.size(); ++i)
            rows.push_back({QString::number(i + 1), QStringLiteral("P"), billing[i]});
        cht::wire::ColumnTable t = chtPacket(*screen, rows);
        for (std::size_t r = 0; r < t.rowCount(); ++r) {
            const std::string n = std::to_string(r + 1);
            for (const auto& [field, prefix] : {std::pair{"CDCLIENTE", "C"},
                                                {"CDFUNC", "F"},
                                                {"CDTIPOSERV", "T"},
                                                {"NRPROPOSFAS", "P"},
                                                {"NRVERPROPFAS", "V"},
                                                {"CDEMPRESA", "E"},
                                                {"NRSERVCONT", "S"}})
                t.setText(r, static_cast<std::size_t>(t.indexOf(field)), prefix + n);
        }
        server->chtRows = std::move(t);
        screen->reloadChtList();
    }

    /// The eight GetConsultaCSA arguments of row `n` of loadKeyed, in their call order.
    static QStringList cdaArgs(int n)
    {
        QStringList out;
        for (const char* prefix : {"C", "F", "T", "P", "V", "", "E", "S"})
            out << QLatin1String(prefix) + QString::number(n);
        return out;
    }
    /// The three GetParcVenc arguments of row `n`.
    static QStringList parcelArgs(int n)
    {
        return {QStringLiteral("C%1").arg(n), QStringLiteral("P%1").arg(n),
                QStringLiteral("V%1").arg(n)};
    }

    void showTab(QWidget* tab) { screen->pgcPadrao->SetActivePage(tab); }
    void next() { screen->dbnPadrao->btnClick(TNavigateBtn::nbNext); }
    int count(const char* method) const
    {
        return static_cast<int>(server->methods().count(QLatin1String(method)));
    }
};

// --- the CDA tab ---------------------------------------------------------------------------------

TEST_F(Detail, TheCdaTabQueriesOncePerOpeningAndPerRowAndTheChtTabNever)
{
    QStringList animations;
    server->whileAnswering = [&] {
        QWidget* avi = cht::framework::ShowAviWidget();
        animations << (avi ? avi->property("animationText").toString() : QString());
    };
    loadKeyed({"P", "P", "H"});
    next();
    EXPECT_EQ(server->methods(), QStringList{QStringLiteral("GetCHT")})
        << "on the CHT tab with the parcels hidden a move calls nothing";

    server->cdaRows = cdaPacket(*screen, {{}, {QStringLiteral("C")}});
    server->requests.clear();
    showTab(screen->tshCSA);
    ASSERT_EQ(server->argsOf(QStringLiteral("GetConsultaCSA")), std::vector{cdaArgs(2)});
    EXPECT_EQ(screen->cdsConsultaCSA.recordCount(), 2);
    EXPECT_EQ(animations, QStringList{QStringLiteral("Transferindo dados...")}) << "animation 1";
    EXPECT_FALSE(cht::framework::ShowAviActive());

    next();
    EXPECT_EQ(server->argsOf(QStringLiteral("GetConsultaCSA")),
              (std::vector{cdaArgs(2), cdaArgs(3)}));
    EXPECT_EQ(server->methods().size(), 2) << "no parcels on the CDA tab";

    showTab(screen->tshPadrao);
    EXPECT_EQ(server->methods().size(), 2) << "back to the CHT tab: nothing";
    showTab(screen->tshCSA);
    EXPECT_EQ(server->argsOf(QStringLiteral("GetConsultaCSA")).size(), 3u);
    EXPECT_EQ(server->argsOf(QStringLiteral("GetConsultaCSA")).back(), cdaArgs(3));
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
}

TEST_F(Detail, AReloadOnTheCdaTabQueriesTheNewFirstRowAndAnEmptyListSendsEmptyTexts)
{
    loadKeyed({"P", "P"});
    showTab(screen->tshCSA);
    next();
    server->requests.clear();
    loadKeyed({"H", "P", "P"});
    EXPECT_EQ(server->methods(), (QStringList{"GetCHT", "GetConsultaCSA"}));
    EXPECT_EQ(server->argsOf(QStringLiteral("GetConsultaCSA")), std::vector{cdaArgs(1)});

    server->requests.clear();
    load(*screen, *server, {});
    EXPECT_EQ(server->argsOf(QStringLiteral("GetConsultaCSA")),
              std::vector{QStringList(8, QString())});
}

TEST_F(Detail, AFailingCdaQueryKeepsThePreviousRowsAndTheMove)
{
    loadKeyed({"P", "P", "P"});
    server->cdaRows = cdaPacket(*screen, {{}, {}, {}});
    showTab(screen->tshCSA);
    ASSERT_EQ(screen->cdsConsultaCSA.recordCount(), 3);

    server->cdaRows = cdaPacket(*screen, {{}});
    server->nextDetail = FakeServer::Failure::Server;
    next();
    ASSERT_EQ(errors(), QStringList{QStringLiteral("Consulta recusada pelo servidor.")});
    EXPECT_EQ(screen->cdsConsultaCSA.recordCount(), 3) << "the previous CDAs stay";
    EXPECT_EQ(screen->cdsCancelaCHT.recNo(), 2) << "the move happened before the query";
    EXPECT_FALSE(cht::framework::ShowAviActive());

    errors().clear();
    server->nextDetail = FakeServer::Failure::Transport;
    next();
    EXPECT_EQ(errors().size(), 1);
    EXPECT_EQ(screen->cdsConsultaCSA.recordCount(), 3);
    EXPECT_FALSE(cht::framework::ShowAviActive());

    errors().clear();
    next(); // the last row: the query works again
    EXPECT_EQ(screen->cdsConsultaCSA.recordCount(), 3) << "last row";
    showTab(screen->tshPadrao);
    showTab(screen->tshCSA);
    EXPECT_EQ(screen->cdsConsultaCSA.recordCount(), 1);
    EXPECT_TRUE(errors().isEmpty());
}

TEST_F(Detail, CdaColumnsAndTexts)
{
    const cht::platform::TDBGrid& g = *screen->dbgConsultaCsa;
    struct C {
        const char* field;
        const char* title;
        int width;
        bool right;
    };
    const C columns[] = {{"IDSITSERVPREST", "Situação", 59, false},
                         {"IDASSINATURACLIENTE", "Assinado", 0, false},
                         {"IDORIGINALENTREGUE", "Entregue", 48, false},
                         {"NOMEFUNC", "Funcionário", 61, false},
                         {"NOMECLIENTE", "Cliente", 62, false},
                         {"NMINTCLIENTE", "Interlocutor", 61, false},
                         {"DTSERVPREST", "Data Serviço", 70, false},
                         {"QTHRTOTAL_AUX", "Hrs.Serv.Prestado", 91, true},
                         {"QTHRDESLOCAMENTOFAT_AUX", "Hrs.Desloc.Fat.", 78, true},
                         {"QTHRNFATU_AUX", "Hrs.Não Fat.", 67, true},
                         {"QTHRAPROFATU_AUX", "Hrs.Serv.Fat.", 67, true},
                         {"QTHRAPRCOMIS_AUX", "Hrs.Comissão", 73, true},
                         {"DTHRENTR1TUR", "Entrada Trab.", 101, false},
                         {"DTHRSAID1TUR", "Saída Trab.", 93, false},
                         {"DSREFERENCIA", "Descrição", 74, false},
                         {"NMOPERINC", "Inclusão", 0, false}};
    ASSERT_EQ(g.columnCount(), 16);
    for (int i = 0; i < 16; ++i) {
        const cht::platform::TColumn& c = g.column(i);
        const C& want = columns[i];
        EXPECT_EQ(c.fieldName(), QLatin1String(want.field)) << i;
        EXPECT_EQ(c.title(), QString::fromUtf8(want.title)) << i;
        EXPECT_EQ(c.hasOwnWidth(), want.width > 0) << want.field;
        EXPECT_EQ(c.width(), want.width > 0 ? want.width : c.defaultWidth()) << want.field;
        const Qt::Alignment side = want.right ? Qt::AlignRight : Qt::AlignLeft;
        EXPECT_TRUE(c.alignment() & side) << want.field;
        EXPECT_TRUE(c.titleAlignment() & side) << want.field;
    }
    EXPECT_TRUE(g.isReadOnly());
    EXPECT_FALSE(g.hasOption(cht::platform::dgIndicator));

    loadKeyed({"P"});
    server->cdaRows = cdaPacket(*screen, {{{}, QStringLiteral("X"), QStringLiteral("S")},
                                          {QStringLiteral("P"), QStringLiteral("S")},
                                          {QStringLiteral("C")},
                                          {QStringLiteral("R")},
                                          {QStringLiteral("Q")}});
    showTab(screen->tshCSA);
    QStringList situations, signatures, delivered;
    for (int r = 1; r <= screen->cdsConsultaCSA.recordCount(); ++r) {
        screen->cdsConsultaCSA.setRecNo(r);
        situations << screen->cdsConsultaCSAIDSITSERVPREST->displayText();
        signatures << screen->cdsConsultaCSAIDASSINATURACLIENTE->displayText();
        delivered << screen->cdsConsultaCSAIDORIGINALENTREGUE->displayText();
    }
    EXPECT_EQ(situations,
              (QStringList{"Pendente", "Pendente", "Confirmada", "CHT Gerada", QString()}));
    EXPECT_EQ(signatures, (QStringList{"-", "", "", "", ""}));
    EXPECT_EQ(delivered, (QStringList{"", "", "", "", ""}));
}

class CdaPainting : public Detail {
protected:
    QImage shot() { return gridShot(*screen->dbgConsultaCsa); }
    QRect cell(int recNo, const char* field)
    {
        return gridCell(*screen->dbgConsultaCsa, recNo, field);
    }
    /// True when the cell shows `picture` 15 pixels in from its left edge, olive turned into
    /// `background`, and nothing but the background left of it.
    static bool showsPicture(const QImage& img, const QRect& c, const QImage& picture,
                             QRgb background)
    {
        if (colours(img, QRect(c.left(), c.top(), 15, c.height())) != QSet<QRgb>{background})
            return false;
        for (int y = 0; y < std::min(c.height(), picture.height()); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                QRgb want = picture.pixel(x, y) & 0xFFFFFFu;
                if (want == 0x808000u)
                    want = background;
                if ((img.pixel(c.left() + 15 + x, c.top() + y) & 0xFFFFFFu) != want)
                    return false;
            }
        return true;
    }
};

TEST_F(CdaPainting, ChecksCrossesGreyDashesAndBlanks)
{
    loadKeyed({"P"});
    server->cdaRows = cdaPacket(*screen, {{{}, QStringLiteral("S"), QStringLiteral("N")},
                                          {{}, QStringLiteral("N"), QStringLiteral("X")},
                                          {{}, QStringLiteral("X"), QString()},
                                          {{}, QStringLiteral("S"), QStringLiteral("S")}});
    showTab(screen->tshCSA);
    cht::platform::TDBGrid& g = *screen->dbgConsultaCsa;
    g.columnByFieldName(QStringLiteral("IDASSINATURACLIENTE"))->setWidth(50);
    screen->cdsConsultaCSA.setRecNo(4); // the highlighted cell is in row 4's first column
    const QImage img = shot();
    const QRgb background = g.color().rgb() & 0xFFFFFFu;
    EXPECT_EQ(background, screen->palette().color(QPalette::ToolTipBase).rgb() & 0xFFFFFFu);

    const QImage ok = screen->imgOk->pixmap().toImage();
    const QImage notOk = screen->imgNOk->pixmap().toImage();
    ASSERT_EQ(ok.size(), QSize(16, 16));
    EXPECT_TRUE(showsPicture(img, cell(1, "IDASSINATURACLIENTE"), ok, background)) << "S: ok";
    EXPECT_TRUE(showsPicture(img, cell(1, "IDORIGINALENTREGUE"), notOk, background)) << "N";
    EXPECT_TRUE(showsPicture(img, cell(2, "IDASSINATURACLIENTE"), notOk, background));
    EXPECT_EQ(colours(img, cell(3, "IDORIGINALENTREGUE")), QSet<QRgb>{background})
        << "empty: a blank cell";

    // "X": a grey dash from width / 2 - width / 5 on, 2 pixels down at least. The text is
    // smoothed: its darkest pixel is the grey itself, no darker.
    const QRect x = cell(3, "IDASSINATURACLIENTE");
    ASSERT_EQ(x.width(), 49); // the column line takes the last pixel
    int left = x.right() + 1, top = x.bottom() + 1, darkest = 255;
    for (int py = x.top(); py <= x.bottom(); ++py)
        for (int px = x.left(); px <= x.right(); ++px)
            if (const QRgb p = img.pixel(px, py) & 0xFFFFFFu; p != background) {
                left = std::min(left, px);
                top = std::min(top, py);
                darkest = std::min(darkest, qRed(p));
                EXPECT_EQ(qRed(p), qGreen(p)) << "grey over the background";
            }
    ASSERT_LE(left, x.right()) << "the dash is drawn";
    const int textLeft = x.left() + 49 / 2 - 49 / 5;
    EXPECT_GE(left, textLeft);
    EXPECT_LE(left, textLeft + 2);
    EXPECT_GE(top, x.top() + 2);
    EXPECT_GE(darkest, 128) << "grey, not the default black text";
    EXPECT_LE(darkest, 160);
    EXPECT_GT(colours(img, cell(2, "IDORIGINALENTREGUE")).size(), 1) << "the other X column";
    for (const QRect& c : {cell(1, "IDASSINATURACLIENTE"), cell(1, "IDORIGINALENTREGUE"),
                           cell(4, "IDORIGINALENTREGUE")})
        EXPECT_FALSE(colours(img, c).contains(0x808000u)) << "no olive left";
}

// --- the due-date parcels ----------------------------------------------------------------------

TEST_F(Detail, TheButtonShowsTheRowsParcelsAndAClickAgainHidesThemWithoutACall)
{
    loadKeyed({"H", "P"});
    EXPECT_FALSE(screen->sbtVencimento->Enabled());
    next();
    ASSERT_TRUE(screen->sbtVencimento->Enabled());
    EXPECT_TRUE(screen->mnuVencimento->isEnabled());
    const auto due = static_cast<double>(QDate(1899, 12, 30).daysTo(QDate(2026, 12, 31)));
    server->parcelRows = parcelPacket({{due, 1234.56}, {due + 31, 99}});
    QStringList animations;
    server->whileAnswering = [&] {
        QWidget* avi = cht::framework::ShowAviWidget();
        animations << (avi ? avi->property("animationText").toString() : QString());
    };
    server->requests.clear();

    screen->sbtVencimento->click();
    QApplication::processEvents();
    EXPECT_TRUE(screen->sbtVencimento->Down());
    EXPECT_TRUE(screen->dbgVencParcela->isVisible());
    EXPECT_EQ(screen->dbgVencParcela->height(), 80);
    EXPECT_EQ(screen->Splitter1->indexOf(screen->dbgVencParcela), 1) << "below the splitter";
    EXPECT_EQ(screen->dbgVencParcela->color(), screen->palette().color(QPalette::ToolTipBase));
    EXPECT_EQ(server->argsOf(QStringLiteral("GetParcVenc")), std::vector{parcelArgs(2)});
    EXPECT_EQ(animations, QStringList{QStringLiteral("Transferindo dados...")});
    EXPECT_FALSE(cht::framework::ShowAviActive());
    ASSERT_EQ(screen->cdsVencParcela.recordCount(), 2);
    EXPECT_EQ(screen->cdsVencParcelaDTVENCSERVCLIE->displayText(), QStringLiteral("31/12/2026"));
    EXPECT_EQ(screen->cdsVencParcelaVRVENCSERVCLIE->displayText(), QStringLiteral("1.234,56"));
    EXPECT_EQ(screen->dbgVencParcela->column(0).title(), QStringLiteral("Data Vencimento"));
    EXPECT_EQ(screen->dbgVencParcela->column(1).title(), QStringLiteral("Valor Parcela"));

    screen->sbtVencimento->click();
    EXPECT_FALSE(screen->sbtVencimento->Down());
    EXPECT_TRUE(screen->dbgVencParcela->isHidden());
    EXPECT_EQ(server->methods().size(), 1) << "hiding calls nothing";
    EXPECT_EQ(screen->cdsVencParcela.recordCount(), 2) << "the rows stay until the next load";

    // The menu entry (Ctrl+E) flips the button and runs the same handler.
    screen->mnuVencimento->trigger();
    EXPECT_TRUE(screen->sbtVencimento->Down());
    EXPECT_FALSE(screen->dbgVencParcela->isHidden());
    EXPECT_EQ(server->methods().size(), 2);
    screen->mnuVencimento->trigger();
    EXPECT_FALSE(screen->sbtVencimento->Down());
    EXPECT_TRUE(screen->dbgVencParcela->isHidden());
    EXPECT_EQ(server->methods().size(), 2);
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
}

TEST_F(Detail, ParcelsFollowTheRowOnTheChtTabOnlyAndANonPackageRowDisablesTheButtonDown)
{
    loadKeyed({"P", "P", "H", "P", "P"});
    screen->sbtVencimento->click();
    server->requests.clear();

    next();
    next(); // row 3 is billed by the hour: still queried, then the button is disabled
    EXPECT_EQ(server->argsOf(QStringLiteral("GetParcVenc")),
              (std::vector{parcelArgs(2), parcelArgs(3)}));
    EXPECT_FALSE(screen->sbtVencimento->Enabled());
    EXPECT_FALSE(screen->mnuVencimento->isEnabled());
    EXPECT_TRUE(screen->sbtVencimento->Down());
    EXPECT_FALSE(screen->dbgVencParcela->isHidden());
    next();
    EXPECT_EQ(server->argsOf(QStringLiteral("GetParcVenc")).size(), 3u);
    EXPECT_TRUE(screen->sbtVencimento->Enabled()) << "a package row enables it again";
    EXPECT_TRUE(screen->mnuVencimento->isEnabled());

    // On the CDA tab the rows move without parcels.
    server->parcelRows = parcelPacket({{46000, 1}});
    server->requests.clear();
    showTab(screen->tshCSA);
    next();
    EXPECT_EQ(server->methods(), (QStringList{"GetConsultaCSA", "GetConsultaCSA"}));
    showTab(screen->tshPadrao);
    EXPECT_EQ(server->methods().size(), 2) << "back on the CHT tab nothing is refreshed";
    EXPECT_TRUE(screen->sbtVencimento->Down());
    EXPECT_EQ(screen->cdsVencParcela.recordCount(), 0) << "still the parcels of row 4";

    // A reload with the button down queries the new first row's parcels.
    server->requests.clear();
    loadKeyed({"H", "P"});
    EXPECT_EQ(server->methods(), (QStringList{"GetCHT", "GetParcVenc"}));
    EXPECT_EQ(server->argsOf(QStringLiteral("GetParcVenc")), std::vector{parcelArgs(1)});
    EXPECT_TRUE(screen->sbtVencimento->Down());
    EXPECT_FALSE(screen->sbtVencimento->Enabled());
    EXPECT_EQ(screen->cdsVencParcela.recordCount(), 1);
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
}

TEST_F(Detail, AFailingParcelQueryKeepsTheRowsTheGridAndTheButtonDown)
{
    loadKeyed({"P", "P", "P"});
    server->parcelRows = parcelPacket({{46000, 1}, {46030, 2}, {46060, 3}});
    screen->sbtVencimento->click();
    ASSERT_EQ(screen->cdsVencParcela.recordCount(), 3);

    server->parcelRows = parcelPacket({{46000, 1}});
    server->nextDetail = FakeServer::Failure::Server;
    next();
    ASSERT_EQ(errors(), QStringList{QStringLiteral("Consulta recusada pelo servidor.")});
    EXPECT_EQ(screen->cdsVencParcela.recordCount(), 3);
    EXPECT_FALSE(screen->dbgVencParcela->isHidden());
    EXPECT_TRUE(screen->sbtVencimento->Down());
    EXPECT_EQ(screen->cdsCancelaCHT.recNo(), 2);
    EXPECT_FALSE(cht::framework::ShowAviActive());

    errors().clear();
    server->nextDetail = FakeServer::Failure::Transport;
    Application::Dispatch([this] { screen->sbtVencimentoClick(screen->sbtVencimento); });
    EXPECT_EQ(errors().size(), 1);
    EXPECT_EQ(screen->cdsVencParcela.recordCount(), 3);
    EXPECT_TRUE(screen->sbtVencimento->Down());
    EXPECT_FALSE(cht::framework::ShowAviActive());
}

// --- a held arrow key --------------------------------------------------------------------------

/// Holds Down on `target` as X11 does: a press, then every `everyMs` for `forMs` a release and a
/// press stamped alike (Qt does not mark them as repeats there), stamped on a clock of their own
/// and queued for the UI thread, which takes them whenever it is free. Records when the last
/// repeat was made.
class HeldKey {
public:
    HeldKey(QWidget* target, int everyMs, int forMs)
    {
        QInputDevice::primaryKeyboard(); // made here, in the UI thread, before any key event
        m_thread = std::thread([=, this] {
            const auto start = std::chrono::steady_clock::now();
            auto post = [target](QEvent::Type type, int at) {
                auto* e = new QKeyEvent(type, Qt::Key_Down, Qt::NoModifier);
                // Another clock than the test's: only differences between stamps count.
                e->setTimestamp(static_cast<quint64>(5000000 + at));
                QCoreApplication::postEvent(target, e);
            };
            for (int at = 0; at <= forMs; at += everyMs) {
                std::this_thread::sleep_until(start + std::chrono::milliseconds(at));
                m_lastRepeat = HeldKey::now();
                if (at > 0)
                    post(QEvent::KeyRelease, at);
                post(QEvent::KeyPress, at);
                ++m_sent;
            }
            post(QEvent::KeyRelease, forMs + 1);
            m_done = true;
        });
    }
    ~HeldKey() { m_thread.join(); }
    /// Runs the UI thread's events until the key is released and everything queued is handled.
    void runUntilReleased()
    {
        while (!m_done)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::processEvents();
    }
    int sent() const { return m_sent; }
    qint64 lastRepeat() const { return m_lastRepeat; }
    static qint64 now()
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

private:
    std::thread m_thread;
    std::atomic<bool> m_done{false};
    std::atomic<int> m_sent{0};
    std::atomic<qint64> m_lastRepeat{0};
};

TEST_F(Detail, HoldingDownWhileEachRowQueriesMovesOncePerQueryAndStopsOnRelease)
{
    QStringList billing;
    for (int i = 0; i < 300; ++i)
        billing << QStringLiteral("P");
    loadKeyed(billing);
    screen->sbtVencimento->click();
    server->requests.clear();
    // Each parcel query takes 40 ms; the keyboard repeats every 8 ms for 600 ms.
    std::vector<qint64> callStarts;
    server->whileAnswering = [&] {
        callStarts.push_back(HeldKey::now());
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    };
    QApplication::setActiveWindow(screen);
    screen->dbgPadrao->setFocus();
    {
        HeldKey key(screen->dbgPadrao, 8, 600);
        key.runUntilReleased();
        const int calls = count("GetParcVenc");
        const int rows = screen->cdsCancelaCHT.recNo() - 1;
        const auto late = std::count_if(callStarts.begin(), callStarts.end(),
                                        [&](qint64 t) { return t > key.lastRepeat(); });
        std::printf("held Down on the CHT tab with the parcels open: %d key presses in 600 ms,"
                    " %d rows reached, %d GetParcVenc calls, %d after the release\n",
                    key.sent(), rows, calls, static_cast<int>(late));
        EXPECT_EQ(calls, rows) << "one query per row reached";
        EXPECT_GE(rows, 3) << "the held key still moves";
        EXPECT_LE(rows, 600 / 40 + 1) << "at most one row per query time: no backlog";
        EXPECT_LE(late, 1) << "at most the query under way when the key was let go";
        const auto args = server->argsOf(QStringLiteral("GetParcVenc"));
        for (int i = 0; i < static_cast<int>(args.size()); ++i)
            EXPECT_EQ(args[static_cast<std::size_t>(i)].value(0), QStringLiteral("C%1").arg(i + 2));
    }

    // On the CDA tab the arrow key moves through the CDAs: the CHT list stays, nothing is asked.
    server->whileAnswering = nullptr;
    server->cdaRows = cdaPacket(*screen, std::vector<Cda>(20));
    showTab(screen->tshCSA);
    ASSERT_EQ(QApplication::focusWidget(), screen->dbgConsultaCsa);
    const int chtRow = screen->cdsCancelaCHT.recNo();
    server->requests.clear();
    {
        HeldKey key(screen->dbgConsultaCsa, 8, 200);
        key.runUntilReleased();
    }
    EXPECT_TRUE(server->requests.empty());
    EXPECT_EQ(screen->cdsCancelaCHT.recNo(), chtRow);
    EXPECT_EQ(screen->cdsConsultaCSA.recNo(), 20);
}

} // namespace
