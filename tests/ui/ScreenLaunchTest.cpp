// The package entry and the launch: one screen across repeated launches, a fresh one after a
// close, the cursor after a failing creation, and the unit counters through load and unload.
#include "ScreenTestSupport.h"

#include "framework/DialogResponder.h"
#include "platform/widgets/TButtonFlat.h"

#include "module/Cli_cot09801.h"
#include "module/Pkg_cot09800.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Forms.h"
#include "module/contracts/PageControl98.h"

#include <QAction>
#include <QDialog>
#include <QPointer>

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

using cht::framework::Application;
using cht::framework::TCursor;
using cht::framework::TWindowState;
using namespace screen_test;

namespace {

class Launch : public ::testing::Test {
protected:
    void SetUp() override
    {
        closeScreen();
        errors().clear();
        server = std::make_shared<FakeServer>();
    }
    void TearDown() override
    {
        Application::SetErrorDisplay([](const QString& m) { errors() << m; });
        closeScreen();
    }
    std::shared_ptr<FakeServer> server;
};

TEST_F(Launch, SecondLaunchBringsTheSameScreenBackToNormal)
{
    int filterShown = 0;
    TfrmCancelaCHT* first = launch(nullptr, &filterShown);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(Cli_cot09800::boIdCriado);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(Application::Cursor(), TCursor::crDefault);
    EXPECT_EQ(filterShown, 1);
    // Connected at creation, to where the session says.
    EXPECT_TRUE(first->netCancelaCHT.Connected());
    EXPECT_EQ(first->netCancelaCHT.Host, QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();

    first->SetWindowState(TWindowState::wsMinimized);
    TfrmCancelaCHT* second = launch(nullptr, &filterShown);
    EXPECT_EQ(second, first);
    EXPECT_EQ(filterShown, 2);
    EXPECT_EQ(first->WindowState(), TWindowState::wsNormal);
    EXPECT_EQ(Application::Cursor(), TCursor::crDefault);
}

TEST_F(Launch, CloseAndRelaunchBuildsAFreshScreenOnTheCHTTab)
{
    TfrmCancelaCHT* first = launch(server);
    ASSERT_NE(first, nullptr);
    load(*first, *server, {{QStringLiteral("00001"), QStringLiteral("P"), QString()}});
    first->pgcPadrao->SetActivePage(first->tshCSA);
    // The filter screen made by the launch goes with the management screen.
    ASSERT_NE(Cli_cot09801::frmFiltroCancCHT, nullptr);
    QPointer<QObject> oldFilter(Cli_cot09801::frmFiltroCancCHT);
    QPointer<QObject> old(first);

    closeScreen();
    EXPECT_TRUE(old.isNull());
    EXPECT_TRUE(oldFilter.isNull());
    EXPECT_EQ(Cli_cot09801::frmFiltroCancCHT, nullptr);
    EXPECT_FALSE(Cli_cot09800::boIdCriado);
    EXPECT_EQ(Cli_cot09800::frmCancelaCHT, nullptr);

    TfrmCancelaCHT* fresh = launch(server);
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(Cli_cot09800::boIdCriado);
    EXPECT_EQ(fresh->pgcPadrao->ActivePage(), fresh->tshPadrao);
    EXPECT_FALSE(fresh->cdsCancelaCHT.active());
    EXPECT_EQ(fresh->cdsCancelaCHT.recordCount(), 0);
}

TEST_F(Launch, CreationThatRaisesLeavesTheDefaultCursor)
{
    // The connect at creation fails (nothing listens) and its report raises here, so the
    // creation itself raises out of the entry point.
    Corvanta::SetSession(QStringLiteral("DEMO"), QStringLiteral("127.0.0.1"), 1);
    Application::SetErrorDisplay([](const QString&) { throw std::runtime_error("falha"); });
    EXPECT_THROW(IniProc(), std::runtime_error);
    useRealServer();
    EXPECT_EQ(Application::Cursor(), TCursor::crDefault);
    EXPECT_FALSE(Cli_cot09800::boIdCriado);
    EXPECT_EQ(Cli_cot09800::frmCancelaCHT, nullptr);
}

TEST_F(Launch, ConnectionTakesHostAndPortAtEveryConnect)
{
    TfrmCancelaCHT* screen = launch(server);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->netCancelaCHT.ServerName, QStringLiteral("COT09800.rdmCancelaCHT"));
    EXPECT_FALSE(screen->netCancelaCHT.ThrowException);
    Corvanta::SetSession(QStringLiteral("DEMO"), QStringLiteral("srv-cht"), 8123);
    screen->netCancelaCHT.Close();
    screen->netCancelaCHT.Open();
    EXPECT_EQ(screen->netCancelaCHT.Host, QStringLiteral("srv-cht"));
    EXPECT_EQ(screen->netCancelaCHT.Port, 8123);
    EXPECT_TRUE(screen->netCancelaCHT.Connected());
    useRealServer();
}

TEST_F(Launch, FilterButtonAndMenuOpenTheSameFilterModally)
{
    TfrmCancelaCHT* screen = launch(nullptr);
    ASSERT_NE(screen, nullptr);
    TfrmFiltroCancCHT* filter = Cli_cot09801::frmFiltroCancCHT;
    ASSERT_NE(filter, nullptr);
    int shown = 0;
    auto closeWhenUp = [&shown, filter] {
        cht::framework::DialogResponder::whenModal([&shown, filter](QDialog* d) {
            if (d == filter)
                ++shown;
            if (d != nullptr)
                d->close();
        });
    };
    closeWhenUp();
    screen->sbtFiltro->click();
    EXPECT_EQ(shown, 1);
    closeWhenUp();
    screen->Filtrar1->trigger();
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(Cli_cot09801::frmFiltroCancCHT, filter);
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
}

TEST(PackageUnits, CountersMakeNestedLoadsCountAndASecondUnloadDoNothing)
{
    closeScreen();
    // main() loaded the module once; a nested load only counts.
    Cli_cot09800::boTodosServ = true;
    Cli_cot09800::boEdit = true;
    Cli_cot09801::boPrimVez = false;
    Initialize();
    EXPECT_TRUE(Cli_cot09800::boTodosServ);
    EXPECT_TRUE(Cli_cot09800::boEdit);
    EXPECT_FALSE(Cli_cot09801::boPrimVez);

    Cli_cot09801::Filtro.Situacao = QStringLiteral("_P_");
    Cli_cot09801::Filtro.Clientes = QStringLiteral("C1");
    Finalize(); // back to one load: nothing released
    EXPECT_EQ(Cli_cot09801::Filtro.Situacao, QStringLiteral("_P_"));

    Finalize(); // the last unload releases the filter's texts
    EXPECT_TRUE(Cli_cot09801::Filtro.Situacao.isEmpty());
    EXPECT_TRUE(Cli_cot09801::Filtro.Clientes.isEmpty());

    Cli_cot09801::Filtro.Situacao = QStringLiteral("_A_");
    Finalize(); // a second finalization does nothing
    EXPECT_EQ(Cli_cot09801::Filtro.Situacao, QStringLiteral("_A_"));

    Initialize(); // a new load starts from the initial values again
    EXPECT_FALSE(Cli_cot09800::boIdCriado);
    EXPECT_FALSE(Cli_cot09800::boTodosServ);
    EXPECT_FALSE(Cli_cot09800::boEdit);
    EXPECT_FALSE(Cli_cot09800::boConfirmou);
    EXPECT_EQ(Cli_cot09800::frmCancelaCHT, nullptr);
    EXPECT_TRUE(Cli_cot09801::boPrimVez);
    EXPECT_FALSE(Cli_cot09801::boIdCriado);
}

TEST(PackageUnits, UnloadFreesAScreenLeftOpen)
{
    closeScreen();
    auto server = std::make_shared<FakeServer>();
    QPointer<QObject> screen(launch(server));
    ASSERT_FALSE(screen.isNull());
    Finalize();
    EXPECT_TRUE(screen.isNull());
    EXPECT_EQ(Cli_cot09800::frmCancelaCHT, nullptr);
    EXPECT_FALSE(Cli_cot09800::boIdCriado);
    Initialize();
}

TEST(PackageUnits, TableListsTheScreenUnitsLastAndTheVersionIsPublished)
{
    const TPackageInfoTable* table = GetPackageInfoTable();
    ASSERT_NE(table, nullptr);
    ASSERT_GE(table->UnitCount, 3);
    const TPackageUnitEntry* u = table->Units;
    const int n = table->UnitCount;
    EXPECT_STREQ(u[n - 3].Name, "Cli_cot09802");
    EXPECT_STREQ(u[n - 2].Name, "Cli_cot09800");
    EXPECT_STREQ(u[n - 1].Name, "Cli_cot09801");
    EXPECT_EQ(u[n - 2].Init, &Cli_cot09800::Initialization);
    EXPECT_EQ(u[n - 2].FInit, &Cli_cot09800::Finalization);
    EXPECT_EQ(u[n - 1].Init, &Cli_cot09801::Initialization);
    bool hasPackageUnit = false;
    for (int i = 0; i < n - 3; ++i)
        hasPackageUnit = hasPackageUnit || std::strcmp(u[i].Name, "Pkg_cot09800") == 0;
    EXPECT_TRUE(hasPackageUnit);

    const TPackageVersionInfo* v = GetPackageVersionInfo();
    ASSERT_NE(v, nullptr);
    EXPECT_STREQ(v->FileVersion, "6.25.017");
    EXPECT_STREQ(v->ProductVersion, "6.25.017");
    EXPECT_EQ(v->Major, 6);
    EXPECT_EQ(v->Minor, 25);
    EXPECT_EQ(v->Release, 17);
    EXPECT_EQ(v->Build, 0);
    EXPECT_EQ(v->LanguageId, 0x0416);
    EXPECT_EQ(v->CodePage, 1252);
}

} // namespace
