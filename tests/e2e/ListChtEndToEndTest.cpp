// The whole road of listing CHTs: the package's entry opens the management screen and the
// filter, the filter asks a real cht-server, and the recorded GetCHT carries exactly Filtro's
// seven fields in the server's order, then the operator.
#include "module/Cli_cot09800.h"
#include "module/Cli_cot09801.h"
#include "module/Pkg_cot09800.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Forms.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TDBGrid.h"
#include "platform/widgets/TDateEditPlus.h"
#include "platform/wire/KeyList.h"
#include "tests/support/FilterScript.h"
#include "tests/support/RecordingTransport.h"
#include "tests/support/ServerProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>

using cht::framework::Application;
using cht::framework::RecordedCall;
using cht::framework::RecordingTransport;
using cht::wire::RpcArg;
using Cli_cot09801::Filtro;

using cht::testing::whenFilterShows;

namespace {

std::string text(const RpcArg& a)
{
    EXPECT_EQ(a.kind, RpcArg::Kind::Text);
    return a.text;
}

double number(const RpcArg& a)
{
    EXPECT_EQ(a.kind, RpcArg::Kind::Number);
    return a.number;
}

struct Expected {
    std::string clientes, todosClientes, funcs, todosFuncs;
    double dataIni, dataFin;
    std::string situacao, operador;
};

void expectGetCHT(const RecordedCall& call, const Expected& e)
{
    EXPECT_EQ(call.method, "COT09800.rdmCancelaCHT.GetCHT");
    ASSERT_EQ(call.params.size(), 8u);
    EXPECT_EQ(text(call.params[0]), e.clientes);
    EXPECT_EQ(text(call.params[1]), e.todosClientes);
    EXPECT_EQ(text(call.params[2]), e.funcs);
    EXPECT_EQ(text(call.params[3]), e.todosFuncs);
    EXPECT_EQ(number(call.params[4]), e.dataIni);
    EXPECT_EQ(number(call.params[5]), e.dataFin);
    EXPECT_EQ(text(call.params[6]), e.situacao);
    EXPECT_EQ(text(call.params[7]), e.operador);
}

TEST(ListChtEndToEnd, FilterToGridAgainstARealServer)
{
    cht::testing::ServerProcess server;
    ASSERT_TRUE(server.start()) << server.error().toStdString();
    QStringList errors;
    cht::testing::connectHost(server, errors);

    // First launch: confirm the defaults, recording what the confirmation sends.
    auto recorder = std::make_shared<RecordingTransport>();
    double serverDay = 0;
    whenFilterShows([&](TfrmFiltroCancCHT& f) {
        TfrmCancelaCHT& tela = *Cli_cot09800::frmCancelaCHT;
        serverDay = std::floor(tela.cdsDataSYSDATE->asOle());
        tela.netCancelaCHT.SetTransport(recorder);
        f.sbtConfirma->click();
    });
    IniProc();
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    TfrmCancelaCHT& tela = *Cli_cot09800::frmCancelaCHT;

    ASSERT_EQ(recorder->methods(), std::vector<std::string>{"GetCHT"});
    expectGetCHT(recorder->calls()[0], {"", "T", "", "T", serverDay, serverDay, "_P_", "DEMO"});
    const int rows = tela.cdsCancelaCHT.recordCount();
    ASSERT_GT(rows, 0) << "the demo has pending CHTs generated today";
    EXPECT_EQ(tela.dbgPadrao->model()->rowCount(), rows);
    for (tela.cdsCancelaCHT.first(); !tela.cdsCancelaCHT.eof(); tela.cdsCancelaCHT.next())
        EXPECT_EQ(tela.cdsCancelaCHT.fieldByName(QStringLiteral("IDSTATUSCHT")).asString(),
                  QStringLiteral("P"));

    // Second launch: the same screens; the operator picks one client and every status.
    tela.cdsCancelaCHT.first();
    const QString client = tela.cdsCancelaCHT.fieldByName(QStringLiteral("CDCLIENTE")).asString();
    const std::string list = cht::wire::encodeKeyList({client.toStdString()});
    recorder->clear();
    whenFilterShows([&](TfrmFiltroCancCHT& f) {
        f.rbtLCliente->setChecked(true);
        f.stCliente = QString::fromStdString(list);
        f.chbAprovada->setChecked(true);
        f.chbRealizada->setChecked(true);
        f.chbNFaturada->setChecked(true);
        f.depCHTIni->SetDate(serverDay - 400);
        f.sbtConfirma->click();
    });
    IniProc();
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(Cli_cot09800::frmCancelaCHT, &tela);
    ASSERT_EQ(recorder->methods(), std::vector<std::string>{"GetCHT"}); // no second GetData
    expectGetCHT(recorder->calls()[0],
                 {list, "", "", "T", serverDay - 400, serverDay, "_P_A_R_N_", "DEMO"});
    ASSERT_GT(tela.cdsCancelaCHT.recordCount(), 0);
    std::set<QString> statuses;
    for (tela.cdsCancelaCHT.first(); !tela.cdsCancelaCHT.eof(); tela.cdsCancelaCHT.next()) {
        EXPECT_EQ(tela.cdsCancelaCHT.fieldByName(QStringLiteral("CDCLIENTE")).asString(), client);
        statuses.insert(tela.cdsCancelaCHT.fieldByName(QStringLiteral("IDSTATUSCHT")).asString());
    }
    EXPECT_GT(statuses.size(), 1u) << "a year of one client's CHTs has more than one status";
    EXPECT_EQ(Filtro.Clientes, QString::fromStdString(list));

    // The verify command reloads with the same criteria.
    recorder->clear();
    tela.sbtVerificarClick(nullptr);
    ASSERT_EQ(recorder->methods(), std::vector<std::string>{"GetCHT"});
    expectGetCHT(recorder->calls()[0],
                 {list, "", "", "T", serverDay - 400, serverDay, "_P_A_R_N_", "DEMO"});

    tela.Close();
    Application::ProcessMessages();
    Finalize();
    Application::SetErrorDisplay(nullptr);
}

// The server restarted while the screen stays open: a reload during the outage says so clearly and
// keeps the list; the first reload once it is back is served, with nothing for the operator to do.
TEST(ListChtEndToEnd, AServerRestartedBetweenTwoCallsIsReachedAgain)
{
    cht::testing::ServerProcess server;
    QStringList errors;
    TfrmCancelaCHT* opened = cht::testing::launchOnServer(server, errors);
    ASSERT_NE(opened, nullptr) << errors.join('\n').toStdString();
    TfrmCancelaCHT& tela = *opened;
    const int rows = tela.cdsCancelaCHT.recordCount();
    ASSERT_GT(rows, 0);

    server.stop();
    tela.sbtVerificar->click();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0],
              QStringLiteral("Não foi possível conectar ao servidor de aplicação em 127.0.0.1:%1.")
                  .arg(server.port()));
    EXPECT_EQ(tela.cdsCancelaCHT.recordCount(), rows);

    ASSERT_TRUE(server.restart()) << server.error().toStdString();
    errors.clear();
    tela.sbtVerificar->click();
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(tela.cdsCancelaCHT.recordCount(), rows);

    tela.Close();
    Application::ProcessMessages();
    Finalize();
    Application::SetErrorDisplay(nullptr);
}

} // namespace
