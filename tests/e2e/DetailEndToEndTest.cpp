// The current CHT's details against a real cht-server: the CDA tab shows the CDAs stored for the
// current CHT and follows the navigator, and the parcels of a package-billed CHT are those stored
// for its proposal, shown in Brazilian format.
#include "module/Cli_cot09800.h"
#include "module/Cli_cot09801.h"
#include "module/Pkg_cot09800.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Forms.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TDBNavigator.h"
#include "tests/support/FilterScript.h"
#include "tests/support/ServerProcess.h"

#include <QDate>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

#include <gtest/gtest.h>

using cht::framework::Application;
using cht::platform::TField;

namespace {

/// Rows of a query on the server's database file, each as its columns' texts.
std::vector<QStringList> storedRows(const QString& database, const QString& sql,
                                    const QStringList& args)
{
    std::vector<QStringList> out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "e2e-detail");
        db.setDatabaseName(database);
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        q.prepare(sql);
        for (const QString& a : args)
            q.addBindValue(a);
        EXPECT_TRUE(q.exec());
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < q.record().count(); ++i)
                row << q.value(i).toString();
            out.push_back(row);
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("e2e-detail"));
    return out;
}

QString day(const TField* f)
{
    return QDate(1899, 12, 30).addDays(static_cast<qint64>(f->asFloat())).toString(Qt::ISODate);
}

/// The CDAs stored for the current CHT, in the order the day-by-day records were made, compared
/// with what the CDA set holds.
void expectStoredCdas(const QString& database, TfrmCancelaCHT& tela)
{
    QStringList key;
    for (const TField* f : {tela.cdsCancelaCHTNRPROPOSFAS, tela.cdsCancelaCHTNRVERPROPFAS,
                            tela.cdsCancelaCHTCDTIPOSERV, tela.cdsCancelaCHTNRSERVCONT,
                            tela.cdsCancelaCHTNRSEQUCHT, tela.cdsCancelaCHTCDFUNC})
        key << f->asString();
    const auto stored =
        storedRows(database,
                   QStringLiteral("SELECT IDSITSERVPREST, substr(DTSERVPREST, 1, 10), QTMINTOTAL,"
                                  " IDASSINATURACLIENTE, IDORIGINALENTREGUE, NMINTCLIENTE FROM CDA"
                                  " WHERE NRPROPOSFAS = ? AND NRVERPROPFAS = ? AND CDTIPOSERV = ?"
                                  " AND NRSERVCONT = ? AND NRSEQUCHT = ? AND CDFUNC = ?"
                                  " ORDER BY DTSERVPREST, DTHRENTR1TUR, NRCDA"),
                   key);
    ASSERT_FALSE(stored.empty()) << "every demo CHT has CDAs";
    cht::platform::TClientDataSet& cdas = tela.cdsConsultaCSA;
    ASSERT_EQ(cdas.recordCount(), static_cast<int>(stored.size())) << key.join('/').toStdString();
    for (int r = 1; r <= cdas.recordCount(); ++r) {
        cdas.setRecNo(r);
        const QStringList& s = stored[static_cast<std::size_t>(r - 1)];
        const int minutes = s[2].toInt();
        const QStringList shown{tela.cdsConsultaCSAIDSITSERVPREST->asString(),
                                day(tela.cdsConsultaCSADTSERVPREST),
                                tela.cdsConsultaCSAQTHRTOTAL_AUX->asString(),
                                tela.cdsConsultaCSAIDASSINATURACLIENTE->asString(),
                                tela.cdsConsultaCSAIDORIGINALENTREGUE->asString(),
                                tela.cdsConsultaCSANMINTCLIENTE->asString()};
        const QStringList want{s[0],
                               s[1],
                               QStringLiteral("%1:%2")
                                   .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                                   .arg(minutes % 60, 2, 10, QLatin1Char('0')),
                               s[3],
                               s[4],
                               s[5]};
        EXPECT_EQ(shown, want) << "CDA " << r;
    }
}

/// The parcels stored for the current CHT's proposal, as the parcels grid shows them.
void expectStoredParcels(const QString& database, TfrmCancelaCHT& tela)
{
    const auto stored = storedRows(
        database,
        QStringLiteral("SELECT substr(DTVENCSERVCLIE, 1, 10), VRVENCSERVCLIE FROM VENCSERVCLIE"
                       " WHERE NRPROPOSFAS = ? AND NRVERPROPFAS = ? ORDER BY NRPARCELA"),
        {tela.cdsCancelaCHTNRPROPOSFAS->asString(), tela.cdsCancelaCHTNRVERPROPFAS->asString()});
    ASSERT_FALSE(stored.empty()) << "a package-billed proposal has parcels";
    cht::platform::TClientDataSet& parcels = tela.cdsVencParcela;
    ASSERT_EQ(parcels.recordCount(), static_cast<int>(stored.size()));
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    for (int r = 1; r <= parcels.recordCount(); ++r) {
        parcels.setRecNo(r);
        const QStringList& s = stored[static_cast<std::size_t>(r - 1)];
        EXPECT_EQ(tela.cdsVencParcelaDTVENCSERVCLIE->displayText(),
                  QDate::fromString(s[0], Qt::ISODate).toString(QStringLiteral("dd/MM/yyyy")));
        EXPECT_EQ(tela.cdsVencParcelaVRVENCSERVCLIE->displayText(),
                  brazil.toString(s[1].toDouble(), 'f', 2));
    }
}

TEST(DetailEndToEnd, CdasAndParcelsShownAreTheStoredOnesOfTheCurrentCht)
{
    cht::testing::ServerProcess server;
    QStringList errors;
    TfrmCancelaCHT* opened = cht::testing::launchOnServer(server, errors);
    ASSERT_NE(opened, nullptr) << errors.join('\n').toStdString();
    TfrmCancelaCHT& tela = *opened;
    ASSERT_GT(tela.cdsCancelaCHT.recordCount(), 2);
    const QString db = server.databasePath();

    // The CDA tab: the current CHT's CDAs, then the next CHT's after the navigator moves on.
    tela.pgcPadrao->SetActivePage(tela.tshCSA);
    expectStoredCdas(db, tela);
    tela.dbnPadrao->btnClick(cht::platform::TNavigateBtn::nbNext);
    ASSERT_EQ(tela.cdsCancelaCHT.recNo(), 2);
    expectStoredCdas(db, tela);

    // The parcels of the first package-billed CHT, and of the next one the list moves to.
    tela.pgcPadrao->SetActivePage(tela.tshPadrao);
    std::vector<int> packageRows;
    for (int r = 1; r <= tela.cdsCancelaCHT.recordCount(); ++r) {
        tela.cdsCancelaCHT.setRecNo(r);
        if (tela.cdsCancelaCHTIDTIPOCOBRSERV->asString() == QLatin1String("P"))
            packageRows.push_back(r);
    }
    ASSERT_GE(packageRows.size(), 2u) << "the demo's first CHTs include package-billed ones";
    tela.cdsCancelaCHT.setRecNo(packageRows[0]);
    ASSERT_TRUE(tela.sbtVencimento->Enabled());
    tela.sbtVencimento->click();
    EXPECT_FALSE(tela.dbgVencParcela->isHidden());
    expectStoredParcels(db, tela);
    tela.cdsCancelaCHT.setRecNo(packageRows[1]);
    expectStoredParcels(db, tela);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();

    tela.Close();
    Application::ProcessMessages();
    Finalize();
    Application::SetErrorDisplay(nullptr);
}

} // namespace
