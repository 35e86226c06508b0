// Loading the CHT list through GetCHT against a fake server, keeping the old rows when the load
// fails, and the row walk restoring reactions, controls and cursor on every way out.
#include "ScreenTestSupport.h"

#include "module/Cli_cot09801.h"
#include "module/contracts/Forms.h"
#include "module/contracts/Showavi.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TDBGrid.h"

#include <gtest/gtest.h>

#include <stdexcept>

using cht::framework::Application;
using cht::framework::TCursor;
using cht::wire::RpcArg;
using Cli_cot09801::Filtro;
using namespace screen_test;

namespace {

class List : public OpenScreenTest {
protected:
    void SetUp() override
    {
        OpenScreenTest::SetUp();
        if (HasFatalFailure())
            return;
        Filtro.Clientes = QStringLiteral("C1;C2");
        Filtro.TodosClientes = QString();
        Filtro.Funcs = QString();
        Filtro.TodosFuncs = QStringLiteral("T");
        Filtro.DataIni = 46000;
        Filtro.DataFin = 46030.5;
        Filtro.Situacao = QStringLiteral("_P_A_");
    }

    std::vector<Cht> threeRows() const
    {
        return {{QStringLiteral("00001"), QStringLiteral("N"), QStringLiteral("P")},
                {QStringLiteral("00002"), QStringLiteral("A"), QString()},
                {QStringLiteral("00003"), QStringLiteral("P"), QString()}};
    }

    QString seq() const { return screen->cdsCancelaCHTNRSEQUCHT->asString(); }
};

TEST_F(List, ReloadSendsTheFilterAndTheOperatorInOrder)
{
    Cli_cot09800::boTodosServ = true;
    server->clientesAfterCall = QStringLiteral("C9");
    load(*screen, *server, threeRows());

    ASSERT_EQ(server->methods(), QStringList{QStringLiteral("GetCHT")});
    const auto& request = server->requests.front();
    EXPECT_EQ(request.method, "COT09800.rdmCancelaCHT.GetCHT");
    const auto& p = request.params;
    ASSERT_EQ(p.size(), 8u);
    EXPECT_EQ(p[0].text, "C1;C2");
    EXPECT_EQ(p[1].text, "");
    EXPECT_EQ(p[2].text, "");
    EXPECT_EQ(p[3].text, "T");
    EXPECT_EQ(p[4].kind, RpcArg::Kind::Number);
    EXPECT_DOUBLE_EQ(p[4].number, 46000);
    EXPECT_DOUBLE_EQ(p[5].number, 46030.5);
    EXPECT_EQ(p[6].text, "_P_A_");
    EXPECT_EQ(p[7].text, "DEMO");

    // The server's values of the by-reference arguments land back in Filtro.
    EXPECT_EQ(Filtro.Clientes, QStringLiteral("C9"));
    EXPECT_EQ(screen->cdsCancelaCHT.recordCount(), 3);
    EXPECT_EQ(screen->cdsCancelaCHT.recNo(), 1);
    EXPECT_EQ(seq(), QStringLiteral("00001"));
    EXPECT_FALSE(Cli_cot09800::boTodosServ) << "every load resets the tick-all direction";
    EXPECT_FALSE(cht::framework::ShowAviActive());
}

TEST_F(List, ReloadReplacesTicksAndUnsavedChanges)
{
    load(*screen, *server, threeRows());
    screen->suspendListReactions();
    screen->cdsCancelaCHT.edit();
    screen->cdsCancelaCHTIDCHECK->setAsString(QStringLiteral("S"));
    screen->cdsCancelaCHT.post();
    screen->reattachListReactions();
    ASSERT_GT(screen->cdsCancelaCHT.changeCount(), 0);

    screen->sbtVerificarClick(nullptr);
    EXPECT_EQ(server->methods().count(QStringLiteral("GetCHT")), 2);
    EXPECT_EQ(screen->cdsCancelaCHTIDCHECK->asString(), QStringLiteral("N"));
    EXPECT_EQ(screen->cdsCancelaCHT.changeCount(), 0);
}

TEST_F(List, FailedReloadKeepsTheOldRows)
{
    load(*screen, *server, threeRows());
    screen->cdsCancelaCHT.next();
    server->chtRows = chtPacket(*screen, {{QStringLiteral("99999"), QStringLiteral("A"), {}}});

    for (auto failure : {FakeServer::Failure::Transport, FakeServer::Failure::Server}) {
        server->nextGetCHT = failure;
        EXPECT_THROW(screen->reloadChtList(), cht::framework::EServerError);
        EXPECT_FALSE(cht::framework::ShowAviActive());
        EXPECT_EQ(screen->cdsCancelaCHT.recordCount(), 3);
        EXPECT_EQ(seq(), QStringLiteral("00002"));
    }
    // The failure report of the server reaches the caller in its own words.
    server->nextGetCHT = FakeServer::Failure::Server;
    try {
        screen->reloadChtList();
        ADD_FAILURE() << "no error";
    } catch (const cht::framework::EServerError& e) {
        EXPECT_NE(QString::fromUtf8(e.what()).indexOf(QStringLiteral("Filtro recusado")), -1);
    }
}

TEST_F(List, RowWalkVisitsEveryRowDetachedAndRestores)
{
    load(*screen, *server, threeRows());
    screen->cdsCancelaCHT.last();
    QStringList visited;
    bool detached = true, disabled = true, hourglass = true;
    const bool commandsBefore = screen->sbtConfirmaCHT->Enabled();
    screen->walkRows([&] {
        visited << seq();
        detached = detached && !screen->dtsPadrao.onStateChange &&
                   !screen->cdsCancelaCHT.afterScroll && !screen->cdsCancelaCHT.afterPost;
        disabled = disabled && screen->cdsCancelaCHT.controlsDisabled();
        hourglass = hourglass && Application::Cursor() == TCursor::crHourGlass;
        // An edit during the walk runs no reaction: the commands keep their states.
        screen->cdsCancelaCHT.edit();
        screen->cdsCancelaCHT.post();
    });
    EXPECT_EQ(visited, (QStringList{"00001", "00002", "00003"}));
    EXPECT_TRUE(detached);
    EXPECT_TRUE(disabled);
    EXPECT_TRUE(hourglass);
    EXPECT_EQ(screen->sbtConfirmaCHT->Enabled(), commandsBefore);

    EXPECT_EQ(screen->cdsCancelaCHT.recNo(), 1);
    EXPECT_TRUE(screen->dtsPadrao.onStateChange && screen->cdsCancelaCHT.afterScroll &&
                screen->cdsCancelaCHT.afterPost);
    EXPECT_FALSE(screen->cdsCancelaCHT.controlsDisabled());
    EXPECT_EQ(Application::Cursor(), TCursor::crDefault);
    // The reactions work again.
    screen->cdsCancelaCHT.edit();
    EXPECT_FALSE(screen->sbtConfirmaCHT->Enabled());
    screen->cdsCancelaCHT.cancel();
}

TEST_F(List, RowWalkRestoresWhenAVisitRaises)
{
    load(*screen, *server, threeRows());
    int visits = 0;
    EXPECT_THROW(screen->walkRows([&] {
        if (++visits == 2)
            throw std::runtime_error("visita falhou");
    }),
                 std::runtime_error);
    EXPECT_EQ(visits, 2);
    EXPECT_TRUE(screen->dtsPadrao.onStateChange && screen->cdsCancelaCHT.afterScroll &&
                screen->cdsCancelaCHT.afterPost);
    EXPECT_FALSE(screen->cdsCancelaCHT.controlsDisabled());
    EXPECT_EQ(Application::Cursor(), TCursor::crDefault);
}

TEST_F(List, RowWalkOverNoRowsVisitsNothingAndRestores)
{
    int visits = 0;
    screen->walkRows([&] { ++visits; }); // list still closed
    load(*screen, *server, {});
    screen->walkRows([&] { ++visits; }); // open and empty
    EXPECT_EQ(visits, 0);
    EXPECT_TRUE(screen->dtsPadrao.onStateChange && screen->cdsCancelaCHT.afterScroll);
    EXPECT_FALSE(screen->cdsCancelaCHT.controlsDisabled());
    EXPECT_EQ(Application::Cursor(), TCursor::crDefault);
}

TEST_F(List, EditCommandGoesToTheSignedColumn)
{
    load(*screen, *server, threeRows());
    screen->sbtAlterarClick(nullptr);
    cht::platform::TColumn* current = screen->dbgPadrao->selectedColumn();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current->fieldName(), QStringLiteral("IDCHTASSINADA"));
    screen->cdsCancelaCHT.cancel();
}

} // namespace
