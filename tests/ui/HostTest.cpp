// The host: loading modules (a good fixture, one without entry points, a missing file), the main
// window's module menu, the command line and the remembered login.
#include "host/HostOptions.h"
#include "host/LoginDialog.h"
#include "host/MainWindow.h"
#include "host/ModuleLoader.h"
#include "module/contracts/Forms.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLibrary>
#include <QLineEdit>
#include <QMenuBar>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace cht::host;
using cht::framework::Application;

namespace {

const QString kGood = QStringLiteral(CHT_FIXTURE_GOOD_MODULE);
const QString kNoEntry = QStringLiteral(CHT_FIXTURE_NO_ENTRY_MODULE);

/// The good fixture's own record of what was called, in order.
QString fixtureLog()
{
    QLibrary lib(kGood);
    auto log = reinterpret_cast<const char* (*)()>(lib.resolve("FixtureLog"));
    return log ? QString::fromUtf8(log()) : QStringLiteral("<sem registro>");
}

void fixtureReset()
{
    QLibrary lib(kGood);
    if (auto reset = reinterpret_cast<void (*)()>(lib.resolve("FixtureReset")))
        reset();
}

class EnvVar {
public:
    explicit EnvVar(const char* name) : m_name(name) { ::setenv(name, "1", 1); }
    ~EnvVar() { ::unsetenv(m_name); }

private:
    const char* m_name;
};

} // namespace

TEST(ModuleLoader, GoodModuleIsInitializedOpenedAndFinalizedOnce)
{
    fixtureReset();
    {
        ModuleLoader loader(kGood);
        ASSERT_TRUE(loader.load()) << loader.errorText().toStdString();
        EXPECT_TRUE(loader.loaded());
        EXPECT_TRUE(loader.errorText().isEmpty());
        EXPECT_STREQ(static_cast<const char*>(loader.packageInfoTable()), "tabela de unidades");
        loader.iniProc();
        loader.iniProc();
        loader.finalize();
        loader.finalize();
        EXPECT_FALSE(loader.loaded());
        EXPECT_THROW(loader.iniProc(), std::runtime_error);
    }
    EXPECT_EQ(fixtureLog(), QStringLiteral("Initialize;IniProc;IniProc;Finalize;"));

    // A loader that goes away with the module still initialized finalizes it.
    fixtureReset();
    {
        ModuleLoader(kGood).load();
    }
    EXPECT_EQ(fixtureLog(), QStringLiteral("Initialize;Finalize;"));
}

TEST(ModuleLoader, MissingOrBrokenModulesAreClearErrors)
{
    ModuleLoader missing(QStringLiteral("/nao/existe/libcot09800.so"));
    EXPECT_FALSE(missing.load());
    EXPECT_FALSE(missing.loaded());
    EXPECT_EQ(missing.errorText(),
              QStringLiteral("O módulo \"/nao/existe/libcot09800.so\" não foi encontrado. "
                             "A função Gerenciamento de CHT não estará disponível."));
    EXPECT_THROW(missing.iniProc(), std::runtime_error);

    ModuleLoader noEntry(kNoEntry);
    EXPECT_FALSE(noEntry.load());
    EXPECT_TRUE(noEntry.errorText().endsWith(QStringLiteral(
        "não é um módulo válido (pontos de entrada ausentes: IniProc, Initialize, Finalize).")))
        << noEntry.errorText().toStdString();

    // A file that is not a shared library at all.
    QTemporaryDir dir;
    const QString notLibrary = dir.filePath(QStringLiteral("libcot09800.so"));
    {
        QFile f(notLibrary);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("isto não é uma biblioteca");
    }
    ModuleLoader garbage(notLibrary);
    EXPECT_FALSE(garbage.load());
    EXPECT_TRUE(
        garbage.errorText().startsWith(QStringLiteral("Não foi possível carregar o módulo")));

    // Initialize that raises: the module is not used, and Finalize is not run for it.
    fixtureReset();
    {
        EnvVar fails("CHT_FIXTURE_INIT_FAILS");
        ModuleLoader failing(kGood);
        EXPECT_FALSE(failing.load());
        EXPECT_TRUE(failing.errorText().endsWith(
            QStringLiteral("falhou ao iniciar: recurso de idioma ausente")))
            << failing.errorText().toStdString();
    }
    EXPECT_EQ(fixtureLog(), QString());
}

TEST(MainWindow, ModuleMenuFollowsTheLoaderAndErrorsReachTheDisplay)
{
    QStringList shown;
    Application::SetErrorDisplay([&](const QString& m) { shown << m; });
    const LoginValues session{QStringLiteral("DEMO"), QStringLiteral("127.0.0.1"), 9800,
                              QStringLiteral("sqlite:demo.db")};

    ModuleLoader missing(QStringLiteral("/nao/existe/libcot09800.so"));
    missing.load();
    MainWindow withoutModule(missing, session);
    EXPECT_FALSE(withoutModule.moduleAction()->isEnabled());
    EXPECT_EQ(withoutModule.moduleAction()->statusTip(), missing.errorText());
    EXPECT_EQ(withoutModule.windowTitle(), QStringLiteral("Corvanta — Gerenciamento"));
    QStringList menus;
    for (QAction* a : withoutModule.menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{QStringLiteral("&Módulos"), QStringLiteral("&Janela")}));

    fixtureReset();
    ModuleLoader good(kGood);
    ASSERT_TRUE(good.load());
    MainWindow window(good, session);
    ASSERT_TRUE(window.moduleAction()->isEnabled());
    EXPECT_EQ(window.moduleAction()->text(), QStringLiteral("Gerenciamento de &CHT"));
    window.moduleAction()->trigger();
    EXPECT_EQ(fixtureLog(), QStringLiteral("Initialize;IniProc;"));
    EXPECT_TRUE(shown.isEmpty());

    // What IniProc raises is shown, and does not leave the handler.
    {
        EnvVar fails("CHT_FIXTURE_INIPROC_FAILS");
        EXPECT_NO_THROW(window.moduleAction()->trigger());
    }
    EXPECT_EQ(shown, QStringList{QStringLiteral("Falha ao abrir a tela.")});
    Application::SetErrorDisplay(nullptr);
}

TEST(HostOptions, CommandLineGivesTheSessionAndRejectsNonsense)
{
    QString error;
    auto o = HostOptions::parse({"cht-host", "--operator", "DEMO", "--server", "srv", "--port",
                                 "8123", "--db", "sqlite:x.db", "--module", "/m.so", "--open"},
                                &error);
    ASSERT_TRUE(o) << error.toStdString();
    EXPECT_TRUE(o->skipsLogin());
    EXPECT_EQ(o->given.operador, QStringLiteral("DEMO"));
    EXPECT_EQ(o->given.server, QStringLiteral("srv"));
    EXPECT_EQ(o->given.port, 8123);
    EXPECT_EQ(o->given.database, QStringLiteral("sqlite:x.db"));
    EXPECT_EQ(o->modulePath, QStringLiteral("/m.so"));
    EXPECT_TRUE(o->openModule);
    EXPECT_FALSE(o->smoke);

    auto bare = HostOptions::parse({"cht-host"}, &error);
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->skipsLogin());

    EXPECT_FALSE(HostOptions::parse({"cht-host", "--port", "70000"}, &error));
    EXPECT_EQ(error, QStringLiteral("Porta inválida: \"70000\" (use um número de 1 a 65535)."));
    EXPECT_FALSE(HostOptions::parse({"cht-host", "--port", "abc"}, &error));
    EXPECT_FALSE(HostOptions::parse({"cht-host", "--sem-sentido"}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(HostOptions::parse({"cht-host", "solto"}, &error));
    EXPECT_EQ(error, QStringLiteral("Argumento inesperado: solto"));

    QString help;
    EXPECT_FALSE(HostOptions::parse({"cht-host", "--help"}, &error, &help));
    EXPECT_TRUE(help.contains(QStringLiteral("--server")));
}

// An HTTPS server keeps its scheme and gives its port; --ca names the authorities to trust.
TEST(HostOptions, AnHttpsServerAndTheAuthorityToTrust)
{
    QString error;
    auto o = HostOptions::parse(
        {"cht-host", "--server", "https://app.local:8443/", "--port", "9000", "--ca", "ca.pem"},
        &error);
    ASSERT_TRUE(o) << error.toStdString();
    EXPECT_EQ(o->given.server, QStringLiteral("https://app.local"));
    EXPECT_EQ(o->given.port, 8443);
    EXPECT_EQ(o->caFile, QStringLiteral("ca.pem"));
    o = HostOptions::parse({"cht-host", "--server", "https://app.local", "--port", "9000"}, &error);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->given.port, 9000);
    // Without a port anywhere the login's own (remembered or default) is used.
    o = HostOptions::parse({"cht-host", "--server", "app.local"}, &error);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->given.port, 0);
    EXPECT_FALSE(HostOptions::parse({"cht-host", "--server", "ftp://app.local"}, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Endereço do servidor de aplicação inválido")))
        << error.toStdString();
}

// The dialog refuses to sign in over plain HTTP to another machine, before anything is sent, and
// says to use https://; the URL it then accepts is kept with its port.
TEST(LoginDialog, SignsInOffThisMachineOnlyOverHttps)
{
    cht::framework::ServerSession::Operator who;
    LoginDialog dialog(
        LoginValues{QStringLiteral("DEMO"), QStringLiteral("app.corvanta.local"), 8080, QString()});
    const LoginDialog::SignIn real = LoginDialog::serverSignIn(who);
    int attempts = 0;
    dialog.setSignIn([&](const LoginValues& v, const QString& password) {
        ++attempts;
        return real(v, password);
    });
    dialog.show();
    QTest::keyClicks(dialog.passwordEdit(), QStringLiteral("demo-cht"));
    dialog.accept();
    EXPECT_EQ(attempts, 1);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.errorLabel()->text().contains(
        QStringLiteral("a senha não é enviada sem criptografia")))
        << dialog.errorLabel()->text().toStdString();
    EXPECT_TRUE(dialog.passwordEdit()->text().isEmpty());

    dialog.serverEdit()->setText(QStringLiteral("https://app.corvanta.local:9443"));
    const LoginValues v = dialog.values();
    EXPECT_EQ(v.server, QStringLiteral("https://app.corvanta.local"));
    EXPECT_EQ(v.port, 9443);

    dialog.serverEdit()->setText(QStringLiteral("https://app.corvanta.local/cht"));
    QTest::keyClicks(dialog.passwordEdit(), QStringLiteral("demo-cht"));
    dialog.accept();
    EXPECT_TRUE(dialog.errorLabel()->text().startsWith(
        QStringLiteral("Endereço do servidor de aplicação inválido")))
        << dialog.errorLabel()->text().toStdString();
    EXPECT_EQ(attempts, 1); // refused before signing in
    EXPECT_EQ(dialog.focusWidget(), dialog.serverEdit());
    dialog.reject();
}

TEST(LoginDialog, RemembersValuesAndInsistsOnAnOperator)
{
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("cht-host.ini")), QSettings::IniFormat);
    const LoginValues fresh = LoginDialog::merge({}, LoginDialog::remembered(settings));
    EXPECT_TRUE(fresh.operador.isEmpty());
    EXPECT_EQ(fresh.server, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(fresh.port, HostOptions::kDefaultPort);

    LoginDialog dialog(fresh);
    dialog.show();
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.errorLabel()->text(), QStringLiteral("Informe o operador."));

    QTest::keyClicks(dialog.operadorEdit(), QStringLiteral(" MARIA "));
    dialog.serverEdit()->clear();
    QTest::keyClicks(dialog.serverEdit(), QStringLiteral("app.corvanta.local"));
    dialog.portEdit()->setValue(9100);
    QTest::keyClicks(dialog.databaseEdit(), QStringLiteral("postgresql://u@db/cht"));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const LoginValues typed = dialog.values();
    EXPECT_EQ(typed.operador, QStringLiteral("MARIA"));
    LoginDialog::remember(settings, typed);

    QSettings reread(dir.filePath(QStringLiteral("cht-host.ini")), QSettings::IniFormat);
    const LoginValues back = LoginDialog::remembered(reread);
    EXPECT_EQ(back.operador, QStringLiteral("MARIA"));
    EXPECT_EQ(back.server, QStringLiteral("app.corvanta.local"));
    EXPECT_EQ(back.port, 9100);
    EXPECT_EQ(back.database, QStringLiteral("postgresql://u@db/cht"));

    // The command line wins over what is remembered, field by field.
    LoginValues given;
    given.port = 8001;
    const LoginValues merged = LoginDialog::merge(given, back);
    EXPECT_EQ(merged.port, 8001);
    EXPECT_EQ(merged.server, QStringLiteral("app.corvanta.local"));
}
