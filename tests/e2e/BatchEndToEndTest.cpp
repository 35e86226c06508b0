// The batch actions against a real cht-server, read back from its database: three pending CHTs
// approved, two marked not to be billed with their justification, one deleted with its CDAs
// released.
#include "framework/DialogResponder.h"
#include "module/Cli_cot09800.h"
#include "module/Cli_cot09801.h"
#include "module/Cli_cot09802.h"
#include "module/Pkg_cot09800.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Forms.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TColumn.h"
#include "platform/widgets/TDBGrid.h"
#include "platform/widgets/TDateEditPlus.h"
#include "tests/support/FilterScript.h"
#include "tests/support/ServerProcess.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <vector>

using cht::framework::Application;
using cht::framework::DialogReply;
using cht::framework::DialogRequest;
using cht::framework::DialogResponder;

namespace {

struct Key {
    QString values[6];
};

const char* const kKeyFields[] = {"NRPROPOSFAS", "NRVERPROPFAS", "CDTIPOSERV",
                                  "NRSERVCONT",  "NRSEQUCHT",    "CDFUNC"};

Key keyOfCurrent(const TfrmCancelaCHT& tela)
{
    Key k;
    for (int i = 0; i < 6; ++i)
        k.values[i] = tela.cdsCancelaCHT.fieldByName(QLatin1String(kKeyFields[i])).asString();
    return k;
}

/// Runs `sql` (ending in a WHERE clause open for the key) for one CHT on the server's database.
QVariantList read(const QString& database, const QString& sql, const Key& key, int columns)
{
    QVariantList out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "batch-read");
        db.setDatabaseName(database);
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        q.prepare(sql + QStringLiteral(" NRPROPOSFAS = ? AND NRVERPROPFAS = ? AND CDTIPOSERV = ? "
                                       "AND NRSERVCONT = ? AND NRSEQUCHT = ? AND CDFUNC = ?"));
        for (const QString& v : key.values)
            q.addBindValue(v);
        EXPECT_TRUE(q.exec());
        while (q.next())
            for (int c = 0; c < columns; ++c)
                out << q.value(c);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("batch-read"));
    return out;
}

/// Rows of the list the operator may tick (own client, pending), by record number.
std::vector<int> ownPending(TfrmCancelaCHT& tela)
{
    std::vector<int> out;
    for (int r = 1; r <= tela.cdsCancelaCHT.recordCount(); ++r) {
        tela.cdsCancelaCHT.setActiveRecord(r);
        if (tela.cdsCancelaCHTCDGERENTEIMPCLI->asString() == QLatin1String("DEMO") &&
            tela.cdsCancelaCHTIDSTATUSCHT->asString() == QLatin1String("P"))
            out.push_back(r);
        tela.cdsCancelaCHT.setActiveRecord(0);
    }
    return out;
}

/// Ticks `count` of the operator's pending CHTs and returns their keys.
std::vector<Key> tickPending(TfrmCancelaCHT& tela, std::size_t count)
{
    std::vector<Key> keys;
    for (int r : ownPending(tela)) {
        if (keys.size() == count)
            break;
        tela.cdsCancelaCHT.setRecNo(r);
        tela.dbgPadraoCellClick(*tela.dbgPadrao->columnByFieldName(QStringLiteral("IDCHECK")));
        keys.push_back(keyOfCurrent(tela));
    }
    return keys;
}

TEST(BatchEndToEnd, ApproveMarkAndDeleteReachTheDatabase)
{
    cht::testing::ServerProcess server;
    ASSERT_TRUE(server.start()) << server.error().toStdString();
    const QString db = server.databasePath();
    QStringList errors;
    cht::testing::connectHost(server, errors);
    cht::testing::whenFilterShows([](TfrmFiltroCancCHT& f) {
        f.chbPendente->setChecked(true);
        f.depCHTIni->SetDate(f.depCHTFin->GetDate() - 60);
        f.sbtConfirma->click();
    });
    IniProc();
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    TfrmCancelaCHT& tela = *Cli_cot09800::frmCancelaCHT;
    ASSERT_GE(ownPending(tela).size(), 6u) << "the demo gives the operator pending CHTs";

    // Approve three: they come back approved ("A", the blue ball).
    const std::vector<Key> approved = tickPending(tela, 3);
    Application::Dispatch([&] { tela.sbtConfirmaCHTClick(nullptr); });
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    for (const Key& k : approved)
        EXPECT_EQ(read(db, "SELECT IDSTATUSCHT FROM CHT WHERE", k, 1),
                  QVariantList{QStringLiteral("A")});

    // Mark two not to be billed, with one justification.
    const std::vector<Key> marked = tickPending(tela, 2);
    DialogResponder::set([](const DialogRequest& r) -> std::optional<DialogReply> {
        if (r.kind == QLatin1String("message"))
            return DialogReply{cht::framework::mrYes, {}, {}};
        return std::nullopt;
    });
    DialogResponder::whenModal([](QDialog* d) {
        auto* f = qobject_cast<TfrmDescAlter*>(d);
        ASSERT_NE(f, nullptr);
        f->rceDescAlter->setPlainText(QStringLiteral("Serviço prestado em garantia."));
        f->sbtConfirma->click();
    });
    Application::Dispatch([&] { tela.sbtNaoFaturarClick(nullptr); });
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    for (const Key& k : marked)
        EXPECT_EQ(
            read(db, "SELECT IDSTATUSCHT, DSALTERACAOCHT FROM CHT WHERE", k, 2),
            (QVariantList{QStringLiteral("N"), QStringLiteral("Serviço prestado em garantia.")}));

    // Delete one after the question: the CHT is gone and its CDAs are free again.
    const std::vector<Key> deleted = tickPending(tela, 1);
    ASSERT_EQ(deleted.size(), 1u);
    const QVariantList cdasBefore = read(db, "SELECT COUNT(*) FROM CDA WHERE", deleted[0], 1);
    Application::Dispatch([&] { tela.sbtCancelaCHTClick(nullptr); });
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_TRUE(read(db, "SELECT 1 FROM CHT WHERE", deleted[0], 1).isEmpty());
    EXPECT_EQ(read(db, "SELECT COUNT(*) FROM CDA WHERE", deleted[0], 1), QVariantList{0})
        << "no CDA points at the deleted CHT any more";
    EXPECT_GT(cdasBefore.value(0).toInt(), 0);

    DialogResponder::clear();
    tela.Close();
    Application::ProcessMessages();
    Finalize();
    Application::SetErrorDisplay(nullptr);
}

} // namespace
