// The grid's edits against a real cht-server: "Cliente OK" flipped by a click and "CHT Assinada"
// chosen in its pick list land in the database; a row another screen changed first is refused
// with a message that says what to do, and keeps the operator's values until the reload.
#include "module/Cli_cot09800.h"
#include "module/Cli_cot09801.h"
#include "module/Pkg_cot09800.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Forms.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TColumn.h"
#include "platform/widgets/TDBGrid.h"
#include "tests/support/FilterScript.h"
#include "tests/support/ServerProcess.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

using cht::framework::Application;
using cht::platform::TColumn;
using cht::platform::TField;

namespace {

/// The stored flags of one CHT, read from the server's database file.
struct Stored {
    QString pgtoOk, assinada;
};

Stored stored(const QString& database, const TfrmCancelaCHT& tela)
{
    Stored out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "e2e-read");
        db.setDatabaseName(database);
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT IDCHTPGTOOK, IDCHTASSINADA FROM CHT WHERE NRPROPOSFAS = ?"
                                 " AND NRVERPROPFAS = ? AND CDTIPOSERV = ? AND NRSERVCONT = ?"
                                 " AND NRSEQUCHT = ? AND CDFUNC = ?"));
        for (const TField* f : {tela.cdsCancelaCHTNRPROPOSFAS, tela.cdsCancelaCHTNRVERPROPFAS,
                                tela.cdsCancelaCHTCDTIPOSERV, tela.cdsCancelaCHTNRSERVCONT,
                                tela.cdsCancelaCHTNRSEQUCHT, tela.cdsCancelaCHTCDFUNC})
            q.addBindValue(f->asString());
        EXPECT_TRUE(q.exec());
        EXPECT_TRUE(q.next());
        out = {q.value(0).toString(), q.value(1).toString()};
    }
    QSqlDatabase::removeDatabase(QStringLiteral("e2e-read"));
    return out;
}

TColumn& col(TfrmCancelaCHT& tela, const char* field)
{
    return *tela.dbgPadrao->columnByFieldName(QLatin1String(field));
}

TEST(GridEndToEnd, FlagsEditedInTheGridAreStoredAndAConflictSaysWhatToDo)
{
    cht::testing::ServerProcess server;
    QStringList errors;
    TfrmCancelaCHT* opened = cht::testing::launchOnServer(server, errors);
    ASSERT_NE(opened, nullptr) << errors.join('\n').toStdString();
    TfrmCancelaCHT& tela = *opened;
    ASSERT_GT(tela.cdsCancelaCHT.recordCount(), 1);
    tela.cdsCancelaCHT.setRecNo(2);

    // "Cliente OK": one click flips it and saves it.
    const Stored before = stored(server.databasePath(), tela);
    const QString flipped =
        before.pgtoOk == QLatin1String("S") ? QStringLiteral("N") : QStringLiteral("S");
    Application::Dispatch([&] { tela.dbgPadraoCellClick(col(tela, "IDCHTPGTOOK")); });
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(stored(server.databasePath(), tela).pgtoOk, flipped);

    // "CHT Assinada": the pick list's other text, then leaving the column.
    cht::platform::TDBGrid& g = *tela.dbgPadrao;
    const QString choice =
        before.assinada == QLatin1String("S") ? QStringLiteral("Não") : QStringLiteral("Sim");
    const QString letter =
        choice == QLatin1String("Sim") ? QStringLiteral("S") : QStringLiteral("N");
    g.setSelectedIndex(col(tela, "IDCHTASSINADA").index());
    g.writeEditorText(col(tela, "IDCHTASSINADA").index(), choice);
    EXPECT_EQ(stored(server.databasePath(), tela).assinada, before.assinada) << "not yet posted";
    g.setSelectedIndex(col(tela, "PROPOSTA").index());
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(stored(server.databasePath(), tela).assinada, letter);
    EXPECT_EQ(tela.cdsCancelaCHT.changeCount(), 0);

    // A second screen over the same server changes the row first.
    TfrmCancelaCHT* other = cht::framework::CreateForm<TfrmCancelaCHT>();
    other->reloadChtList();
    other->cdsCancelaCHT.setRecNo(2);
    other->dbgPadraoCellClick(col(*other, "IDCHTPGTOOK"));
    EXPECT_EQ(stored(server.databasePath(), tela).pgtoOk, before.pgtoOk);
    delete other;

    Application::Dispatch([&] { tela.dbgPadraoCellClick(col(tela, "IDCHTPGTOOK")); });
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("outro usuário")));
    EXPECT_TRUE(errors[0].contains(QStringLiteral("Verificar (F5)"))) << errors[0].toStdString();
    EXPECT_EQ(tela.cdsCancelaCHTIDCHTPGTOOK->asString(), before.pgtoOk)
        << "the refused value stays in the list";
    EXPECT_EQ(tela.cdsCancelaCHT.changeCount(), 1);

    // After the verify command the list shows the stored value and saves work again.
    errors.clear();
    tela.sbtVerificarClick(nullptr);
    tela.cdsCancelaCHT.setRecNo(2);
    EXPECT_EQ(tela.cdsCancelaCHTIDCHTPGTOOK->asString(), before.pgtoOk);
    Application::Dispatch([&] { tela.dbgPadraoCellClick(col(tela, "IDCHTPGTOOK")); });
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(stored(server.databasePath(), tela).pgtoOk, flipped);

    tela.Close();
    Application::ProcessMessages();
    Finalize();
    Application::SetErrorDisplay(nullptr);
}

} // namespace
