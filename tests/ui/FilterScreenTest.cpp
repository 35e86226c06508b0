// The filter screen over the real management screen and a real cht-server: first opening, a
// failing GetData at creation, reopening after closing without confirming, a failing GetCHT, and
// a result without rows.
#include "module/Cli_cot09800.h"
#include "module/Cli_cot09801.h"
#include "module/Pkg_cot09800.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Forms.h"
#include "module/contracts/Showavi.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TDBGrid.h"
#include "platform/widgets/TDateEditPlus.h"
#include "platform/wire/OleDate.h"
#include "tests/support/FaultyTransport.h"
#include "tests/support/FilterScript.h"
#include "tests/support/ServerProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

using cht::framework::Application;
using Cli_cot09801::Filtro;

using cht::testing::whenFilterShows;

namespace {

cht::testing::ServerProcess* g_server = nullptr;

double oleToday()
{
    const QDate d = QDate::currentDate();
    return cht::wire::oleFromCivil({d.year(), d.month(), d.day()});
}

class FilterScreen : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_server = new cht::testing::ServerProcess();
        if (!g_server->start())
            FAIL() << g_server->error().toStdString();
    }
    static void TearDownTestSuite()
    {
        delete g_server;
        g_server = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(g_server, nullptr);
        Corvanta::SetSession(QStringLiteral("DEMO"), QStringLiteral("127.0.0.1"), g_server->port());
        Application::SetErrorDisplay([this](const QString& m) { m_messages << m; });
        Initialize();
    }
    void TearDown() override
    {
        if (Cli_cot09800::frmCancelaCHT != nullptr)
            Cli_cot09800::frmCancelaCHT->Close();
        Application::ProcessMessages();
        Finalize();
        Application::SetErrorDisplay(nullptr);
    }

    TfrmCancelaCHT& tela() { return *Cli_cot09800::frmCancelaCHT; }

    // The filter's first opening while its GetData fails: by the connection (refused false) or
    // by the server's own report. The management screen is made by hand, so that its connection
    // fails before the filter is created.
    void firstOpeningWhileGetDataFails(bool refused, const QString& reason)
    {
        Cli_cot09800::frmCancelaCHT = cht::framework::CreateForm<TfrmCancelaCHT>();
        Cli_cot09800::boIdCriado = true;
        auto faulty =
            std::make_shared<cht::framework::FaultyTransport>(tela().netCancelaCHT.Transport());
        if (refused)
            faulty->answerFailure(1, reason);
        else
            faulty->failCall(1, reason);
        tela().netCancelaCHT.SetTransport(faulty);
        Filtro = TFiltro{};
        Filtro.Situacao = QStringLiteral("_R_"); // what an earlier store left

        bool opened = false;
        whenFilterShows([&](TfrmFiltroCancCHT& f) {
            opened = true;
            EXPECT_TRUE(f.depCHTIni->typedText().isEmpty());
            EXPECT_TRUE(f.depCHTFin->typedText().isEmpty());
            // The rest of the screen is as its definition gives it.
            EXPECT_TRUE(f.rbtTCliente->isChecked());
            EXPECT_TRUE(f.chbPendente->isChecked());
            f.Close();
        });
        m_messages.clear();
        Cli_cot09801::CriaFiltroCancCHT();
        EXPECT_TRUE(opened) << "the filter did not open";
        ASSERT_EQ(m_messages.size(), 1);
        EXPECT_TRUE(m_messages[0].contains(reason)) << m_messages[0].toStdString();
        EXPECT_EQ(faulty->callCount(), 1);
        EXPECT_EQ(Filtro.Situacao, QStringLiteral("_R_")) << "Filtro was stored";
        EXPECT_TRUE(Filtro.TodosClientes.isEmpty());
        EXPECT_EQ(Filtro.DataIni, 0.0);
    }

    QStringList m_messages;
};

TEST_F(FilterScreen, FirstOpeningThenReopeningAfterClosingWithoutConfirming)
{
    bool ran = false;
    whenFilterShows([&](TfrmFiltroCancCHT& f) {
        ran = true;
        EXPECT_EQ(f.depCHTIni->GetDate(), oleToday());
        EXPECT_EQ(f.depCHTFin->GetDate(), oleToday());
        EXPECT_TRUE(f.rbtTCliente->isChecked());
        EXPECT_TRUE(f.rbtTFunc->isChecked());
        EXPECT_FALSE(f.btpCliente->Enabled());
        EXPECT_FALSE(f.btpFunc->Enabled());
        EXPECT_TRUE(f.chbPendente->isChecked());
        EXPECT_FALSE(f.chbAprovada->isChecked());
        // The creation stored the defaults.
        EXPECT_EQ(Filtro.Situacao, QStringLiteral("_P_"));
        EXPECT_EQ(Filtro.TodosClientes, QStringLiteral("T"));
        EXPECT_EQ(Filtro.TodosFuncs, QStringLiteral("T"));
        EXPECT_TRUE(Filtro.Clientes.isEmpty() && Filtro.Funcs.isEmpty());
        EXPECT_EQ(Filtro.DataIni, oleToday());
        EXPECT_EQ(Filtro.DataFin, oleToday());

        f.rbtLFunc->setChecked(true);
        f.stFunc = QStringLiteral("[\"F1\"]");
        f.chbPendente->setChecked(false);
        f.chbAprovada->setChecked(true);
        f.depCHTIni->setText(QStringLiteral("01/01/2020"));
        f.Close();
    });
    Cli_cot09800::CriaCancelaCHT();
    ASSERT_TRUE(ran);
    EXPECT_FALSE(Cli_cot09801::boIdCriado);
    EXPECT_EQ(Filtro.Situacao, QStringLiteral("_P_"));
    EXPECT_EQ(Filtro.TodosFuncs, QStringLiteral("T"));
    EXPECT_EQ(Filtro.DataIni, oleToday());
    EXPECT_TRUE(tela().cdsCancelaCHT.isEmpty());

    TfrmFiltroCancCHT* first = Cli_cot09801::frmFiltroCancCHT;
    ran = false;
    whenFilterShows([&](TfrmFiltroCancCHT& f) {
        ran = true;
        EXPECT_EQ(&f, first); // hidden, not destroyed
        EXPECT_TRUE(f.rbtTFunc->isChecked());
        EXPECT_FALSE(f.btpFunc->Enabled());
        EXPECT_TRUE(f.stFunc.isEmpty());
        EXPECT_TRUE(f.chbPendente->isChecked());
        EXPECT_FALSE(f.chbAprovada->isChecked());
        EXPECT_EQ(f.depCHTIni->GetDate(), oleToday());
        f.Close();
    });
    Cli_cot09801::CriaFiltroCancCHT();
    EXPECT_TRUE(ran);
}

TEST_F(FilterScreen, GetDataFailingByTheConnectionEndsOnlyTheCreation)
{
    firstOpeningWhileGetDataFails(false, QStringLiteral("Servidor de aplicação fora do ar."));
}

TEST_F(FilterScreen, GetDataRefusedByTheServerEndsOnlyTheCreation)
{
    firstOpeningWhileGetDataFails(true, QStringLiteral("Data do servidor indisponível."));
}

TEST_F(FilterScreen, ConfirmingLoadsTheListClosesAndFocusesTheGrid)
{
    whenFilterShows([](TfrmFiltroCancCHT& f) { f.sbtConfirma->click(); });
    Cli_cot09800::CriaCancelaCHT();
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
    EXPECT_FALSE(Cli_cot09801::frmFiltroCancCHT->isVisible());
    ASSERT_GT(tela().cdsCancelaCHT.recordCount(), 0);
    EXPECT_EQ(tela().dbgPadrao->model()->rowCount(), tela().cdsCancelaCHT.recordCount());
    EXPECT_TRUE(tela().dbgPadrao->isEnabled());
    EXPECT_EQ(tela().window()->focusWidget(), tela().dbgPadrao);
    EXPECT_FALSE(cht::framework::ShowAviActive());
}

TEST_F(FilterScreen, FailingGetCHTKeepsTheScreenOpenTheOldRowsAndTheNewCriteria)
{
    whenFilterShows([](TfrmFiltroCancCHT& f) { f.sbtConfirma->click(); });
    Cli_cot09800::CriaCancelaCHT();
    const int rows = tela().cdsCancelaCHT.recordCount();
    ASSERT_GT(rows, 0);

    auto faulty =
        std::make_shared<cht::framework::FaultyTransport>(tela().netCancelaCHT.Transport());
    faulty->failCall(1, QStringLiteral("Servidor de aplicação fora do ar."));
    tela().netCancelaCHT.SetTransport(faulty);

    bool stayedOpen = false;
    whenFilterShows([&](TfrmFiltroCancCHT& f) {
        f.chbAprovada->setChecked(true);
        f.sbtConfirma->click();
        stayedOpen = f.isVisible();
        EXPECT_FALSE(cht::framework::ShowAviActive());
        f.Close();
    });
    m_messages.clear();
    Cli_cot09801::CriaFiltroCancCHT();
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains(QStringLiteral("fora do ar")));
    EXPECT_EQ(faulty->callCount(), 1);
    EXPECT_EQ(tela().cdsCancelaCHT.recordCount(), rows);
    EXPECT_EQ(Filtro.Situacao, QStringLiteral("_P_A_"));

    // The management screen's next reload sends the criteria of the failed attempt.
    tela().reloadChtList();
    EXPECT_GE(tela().cdsCancelaCHT.recordCount(), rows);
    EXPECT_EQ(faulty->callCount(), 2);
}

TEST_F(FilterScreen, ResultWithoutRowsLeavesTheGridDisabledAndWithoutFocus)
{
    whenFilterShows([](TfrmFiltroCancCHT& f) {
        f.depCHTIni->setText(QStringLiteral("01/01/1990"));
        f.depCHTFin->setText(QStringLiteral("02/01/1990"));
        f.sbtConfirma->click();
    });
    Cli_cot09800::CriaCancelaCHT();
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
    EXPECT_FALSE(Cli_cot09801::frmFiltroCancCHT->isVisible());
    EXPECT_TRUE(tela().cdsCancelaCHT.active());
    EXPECT_EQ(tela().cdsCancelaCHT.recordCount(), 0);
    EXPECT_FALSE(tela().dbgPadrao->isEnabled());
    EXPECT_NE(tela().window()->focusWidget(), tela().dbgPadrao);
}

TEST_F(FilterScreen, ClosingTheManagementScreenGivesAFreshFilterNextTime)
{
    whenFilterShows([](TfrmFiltroCancCHT& f) {
        f.chbNFaturada->setChecked(true);
        f.sbtConfirma->click();
    });
    Cli_cot09800::CriaCancelaCHT();
    EXPECT_EQ(Filtro.Situacao, QStringLiteral("_P_N_"));
    tela().Close();
    Application::ProcessMessages();
    EXPECT_EQ(Cli_cot09801::frmFiltroCancCHT, nullptr);

    whenFilterShows([](TfrmFiltroCancCHT& f) {
        // A new screen whose creation stored its own defaults again.
        EXPECT_TRUE(f.chbPendente->isChecked());
        EXPECT_FALSE(f.chbNFaturada->isChecked());
        f.Close();
    });
    Cli_cot09800::CriaCancelaCHT();
    EXPECT_EQ(Filtro.Situacao, QStringLiteral("_P_"));
}

} // namespace
