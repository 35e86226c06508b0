// Picking clients and an employee from the host's database and listing their CHTs: a real
// cht-server over the demo database, and the host reading the same database for its lookups;
// on SQLite and on PostgreSQL.
#include "framework/DialogResponder.h"
#include "module/Cli_cot09800.h"
#include "module/Cli_cot09801.h"
#include "module/Pkg_cot09800.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Forms.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TDateEditPlus.h"
#include "platform/wire/KeyList.h"
#include "tests/support/FilterScript.h"
#include "tests/support/HostDatabase.h"
#include "tests/support/ServerProcess.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using cht::framework::Application;
using cht::framework::DialogResponder;
using cht::framework::dtmDBGeral;
using cht::testing::Backend;
using cht::testing::HostDatabase;
using cht::testing::whenFilterShows;

namespace {

class LookupEndToEnd : public ::testing::TestWithParam<Backend> {};

// Narrows the pick list to each code in turn and ticks the one row left, then confirms.
void pickByCode(QDialog* d, const QStringList& codes)
{
    ASSERT_NE(d, nullptr) << "no pick list came up";
    auto* view = d->findChild<QTableView*>("grdLista");
    auto* search = d->findChild<QLineEdit*>("edtPesquisa");
    for (const QString& code : codes) {
        search->clear();
        QTest::keyClicks(search, code);
        ASSERT_EQ(view->model()->rowCount(), 1) << code.toStdString();
        const QRect cell = view->visualRect(view->model()->index(0, 1));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    }
    search->clear();
    QTest::mouseClick(d->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
}

// A pick that failed must not leave the dialog waiting.
void pickOrGiveUp(QDialog* d, const QStringList& codes)
{
    pickByCode(d, codes);
    if (d != nullptr && d->isVisible())
        d->reject();
}

std::string chtKey(const QStringList& parts)
{
    return parts.join(QLatin1Char('/')).toStdString();
}

} // namespace

CHT_HOST_DATABASE_SUITE(LookupEndToEnd);

TEST_P(LookupEndToEnd, TwoPickedClientsAndOneEmployeeListExactlyTheirChts)
{
    HostDatabase db(GetParam());
    if (!db.available()) {
        if (GetParam() == Backend::Postgres)
            GTEST_SKIP() << db.error().toStdString();
        FAIL() << db.error().toStdString();
    }
    cht::testing::ServerProcess server(cht::testing::ServerProcess::DemoAt{db.url()});
    ASSERT_TRUE(server.start()) << server.error().toStdString();
    dtmDBGeral::Configure(db.url());

    // The employee with the most CHTs for one client, and two of his clients.
    const QString joined =
        QStringLiteral(" FROM CHT C JOIN PROPOSTA P ON P.NRPROPOSFAS = C.NRPROPOSFAS"
                       " AND P.NRVERPROPFAS = C.NRVERPROPFAS");
    QString func;
    QStringList clients;
    {
        QSqlQuery q(dtmDBGeral::Database());
        ASSERT_TRUE(q.exec("SELECT C.CDFUNC, P.CDCLIENTE, COUNT(*)" + joined +
                           " GROUP BY C.CDFUNC, P.CDCLIENTE ORDER BY 3 DESC, 1, 2"));
        while (q.next() && clients.size() < 2) {
            if (func.isEmpty())
                func = q.value(0).toString();
            if (q.value(0).toString() == func)
                clients << q.value(1).toString();
        }
    }
    ASSERT_EQ(clients.size(), 2) << "the demo has an employee working for two clients";
    std::set<std::string> expected;
    {
        QSqlQuery q(dtmDBGeral::Database());
        ASSERT_TRUE(q.prepare("SELECT C.NRPROPOSFAS, C.NRVERPROPFAS, C.CDTIPOSERV, C.NRSERVCONT,"
                              " C.NRSEQUCHT, C.CDFUNC" +
                              joined + " WHERE P.CDCLIENTE IN (?, ?) AND C.CDFUNC = ?"));
        q.addBindValue(clients[0]);
        q.addBindValue(clients[1]);
        q.addBindValue(func);
        ASSERT_TRUE(q.exec());
        while (q.next()) {
            QStringList parts;
            for (int i = 0; i < 6; ++i)
                parts << q.value(i).toString();
            expected.insert(chtKey(parts));
        }
    }
    ASSERT_FALSE(expected.empty());

    QStringList errors;
    cht::testing::connectHost(server, errors);
    whenFilterShows([&](TfrmFiltroCancCHT& f) {
        f.rbtLCliente->setChecked(true);
        DialogResponder::whenModal([&](QDialog* d) { pickOrGiveUp(d, clients); });
        f.btpCliente->click();
        f.rbtLFunc->setChecked(true);
        DialogResponder::whenModal([&](QDialog* d) { pickOrGiveUp(d, {func}); });
        f.btpFunc->click();
        f.chbAprovada->setChecked(true);
        f.chbRealizada->setChecked(true);
        f.chbNFaturada->setChecked(true);
        f.depCHTIni->setText(QStringLiteral("01/01/1990"));
        f.depCHTFin->setText(QStringLiteral("31/12/2090"));
        f.sbtConfirma->click();
    });
    IniProc();
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();

    std::vector<std::string> picked =
        cht::wire::decodeKeyList(Cli_cot09801::Filtro.Clientes.toStdString());
    std::sort(picked.begin(), picked.end());
    std::vector<std::string> wanted{clients[0].toStdString(), clients[1].toStdString()};
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(picked, wanted);
    EXPECT_EQ(Cli_cot09801::Filtro.Funcs,
              QString::fromStdString(cht::wire::encodeKeyList({func.toStdString()})));

    ASSERT_NE(Cli_cot09800::frmCancelaCHT, nullptr);
    TfrmCancelaCHT& tela = *Cli_cot09800::frmCancelaCHT;
    std::set<std::string> listed;
    for (tela.cdsCancelaCHT.first(); !tela.cdsCancelaCHT.eof(); tela.cdsCancelaCHT.next()) {
        QStringList parts;
        for (const char* name :
             {"NRPROPOSFAS", "NRVERPROPFAS", "CDTIPOSERV", "NRSERVCONT", "NRSEQUCHT", "CDFUNC"})
            parts << tela.cdsCancelaCHT.fieldByName(QLatin1String(name)).asString();
        listed.insert(chtKey(parts));
    }
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(tela.cdsCancelaCHT.recordCount(), static_cast<int>(expected.size()));

    tela.Close();
    Application::ProcessMessages();
    Finalize();
    Application::SetErrorDisplay(nullptr);
    DialogResponder::clear();
    dtmDBGeral::Configure({});
}
