// Signing in through the host's dialog against a real cht-server, approving through the screen,
// a session that ends under the screen, and the audit row that says who approved.
#include "host/LoginDialog.h"
#include "module/Cli_cot09800.h"
#include "module/Cli_cot09801.h"
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
#include <QLabel>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <gtest/gtest.h>

using cht::framework::Application;
using cht::framework::ServerSession;
using cht::host::LoginDialog;
using cht::host::LoginValues;

namespace {

const QString kPassword = QStringLiteral("demo-cht");

/// The key of the current row as the audit trail writes it.
QString trailKey(TfrmCancelaCHT& tela)
{
    QStringList parts;
    for (const char* f :
         {"NRPROPOSFAS", "NRVERPROPFAS", "CDTIPOSERV", "NRSERVCONT", "NRSEQUCHT", "CDFUNC"})
        parts << tela.cdsCancelaCHT.fieldByName(QLatin1String(f)).asString();
    return parts.join(QLatin1Char('/'));
}

/// Ticks the first pending CHT of the operator's own clients; returns its key for the trail.
QString tickOwnPending(TfrmCancelaCHT& tela)
{
    for (int r = 1; r <= tela.cdsCancelaCHT.recordCount(); ++r) {
        tela.cdsCancelaCHT.setRecNo(r);
        if (tela.cdsCancelaCHTCDGERENTEIMPCLI->asString() != QLatin1String("DEMO") ||
            tela.cdsCancelaCHTIDSTATUSCHT->asString() != QLatin1String("P") ||
            tela.cdsCancelaCHT.fieldByName(QStringLiteral("IDCHECK")).asString() ==
                QLatin1String("S"))
            continue;
        tela.dbgPadraoCellClick(*tela.dbgPadrao->columnByFieldName(QStringLiteral("IDCHECK")));
        return trailKey(tela);
    }
    return {};
}

/// One query's rows on the server's database, columns joined by "|".
QStringList rows(const QString& database, const QString& sql, const QString& bound)
{
    QStringList out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "signin-read");
        db.setDatabaseName(database);
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        q.prepare(sql);
        q.addBindValue(bound);
        EXPECT_TRUE(q.exec());
        while (q.next()) {
            QStringList cells;
            for (int c = 0; c < q.record().count(); ++c)
                cells << q.value(c).toString();
            out << cells.join(QLatin1Char('|'));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("signin-read"));
    return out;
}

TEST(SignInEndToEnd, TheDialogSignsInTheScreenApprovesAndTheTrailSaysWho)
{
    cht::testing::ServerProcess server;
    ASSERT_TRUE(server.start()) << server.error().toStdString();
    // Signed out: only the dialog's sign-in lets the calls through.
    ServerSession::SetToken({});
    const LoginValues values{
        QStringLiteral("demo"), QStringLiteral("127.0.0.1"), server.port(), {}};
    ServerSession::Operator who;
    LoginDialog login(values);
    login.setSignIn(LoginDialog::serverSignIn(who));
    login.show();
    QTest::keyClicks(login.passwordEdit(), QStringLiteral("errada"));
    login.accept();
    EXPECT_NE(login.result(), QDialog::Accepted);
    EXPECT_TRUE(login.isVisible());
    EXPECT_EQ(login.errorLabel()->text(), QStringLiteral("Operador ou senha inválidos."));
    EXPECT_TRUE(login.passwordEdit()->text().isEmpty());
    EXPECT_TRUE(ServerSession::Token().empty());
    QTest::keyClicks(login.passwordEdit(), kPassword);
    login.accept();
    ASSERT_EQ(login.result(), QDialog::Accepted) << login.errorLabel()->text().toStdString();
    EXPECT_EQ(who.code, QStringLiteral("DEMO"));
    EXPECT_FALSE(ServerSession::Token().empty());

    Corvanta::SetSession(who.code, values.server, values.port);
    QStringList errors;
    Application::SetErrorDisplay([&](const QString& m) { errors << m; });
    Initialize();
    cht::testing::whenFilterShows([](TfrmFiltroCancCHT& f) {
        f.chbPendente->setChecked(true);
        f.depCHTIni->SetDate(f.depCHTFin->GetDate() - 60);
        f.sbtConfirma->click();
    });
    IniProc();
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    TfrmCancelaCHT& tela = *Cli_cot09800::frmCancelaCHT;

    // The session ends under the screen (revoked on the server; the screen still sends it). The
    // operator types the password again and the approval goes through as if nothing happened.
    const std::string ended = ServerSession::Token();
    ServerSession::SignOut(values.server, values.port);
    ServerSession::SetToken(ended);
    int asked = 0;
    ServerSession::SetRenewal([&] {
        ++asked;
        LoginDialog again(values);
        again.setSignIn(LoginDialog::serverSignIn(who));
        again.setRenewal(QStringLiteral("Sua sessão no servidor terminou."));
        EXPECT_FALSE(again.operadorEdit()->isEnabled());
        QTest::keyClicks(again.passwordEdit(), kPassword);
        again.accept();
        return again.result() == QDialog::Accepted;
    });
    const QString approved = tickOwnPending(tela);
    ASSERT_FALSE(approved.isEmpty());
    Application::Dispatch([&] { tela.sbtConfirmaCHTClick(nullptr); });
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(asked, 1);
    const QString sql = QStringLiteral("SELECT CDOPERADOR, NMCAMPO, DSVALORANTIGO, DSVALORNOVO"
                                       " FROM AUDITORIA WHERE NMMETODO = 'ConfirmaCHT' AND"
                                       " DSCHAVECHT = ?");
    EXPECT_EQ(rows(server.databasePath(), sql, approved),
              QStringList{QStringLiteral("DEMO|IDSTATUSCHT|P|A")});

    // Not signing in again fails the call clearly, and nothing changes.
    ServerSession::SetToken(std::string(64, '0'));
    ServerSession::SetRenewal([] { return false; });
    const QString refused = tickOwnPending(tela);
    ASSERT_FALSE(refused.isEmpty());
    Application::Dispatch([&] { tela.sbtConfirmaCHTClick(nullptr); });
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.front().contains(QStringLiteral("Entre novamente")))
        << errors.front().toStdString();
    EXPECT_TRUE(rows(server.databasePath(), sql, refused).isEmpty());

    ServerSession::SetRenewal({});
    tela.Close();
    Application::ProcessMessages();
    Finalize();
    Application::SetErrorDisplay(nullptr);
}

} // namespace
