// cht-host: logs the operator in, opens the main window and hosts the CHT module.
#include "HostOptions.h"
#include "LoginDialog.h"
#include "MainWindow.h"
#include "ModuleLoader.h"
#include "Screenshot.h"
#include "Smoke.h"
#include "framework/ServerSession.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Forms.h"
#include "module/contracts/TADOIBQuery.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

using cht::framework::Application;
using cht::framework::ServerSession;
using namespace cht::host;

namespace {

void installTranslations(QApplication& app, QTranslator& qtTranslator)
{
    const QLocale ptBr(QLocale::Portuguese, QLocale::Brazil);
    QLocale::setDefault(ptBr);
    // Standard buttons and dialogs read "Sim", "Não", "Cancelar".
    if (qtTranslator.load(ptBr, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTranslator);
    else
        std::fprintf(stderr, "cht-host: traduções do Qt (pt_BR) não encontradas\n");
}

} // namespace

int main(int argc, char** argv)
{
    prepareSmokePlatform(argc, argv);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Corvanta"));
    QApplication::setApplicationName(QStringLiteral("cht-host"));
    QTranslator qtTranslator;
    installTranslations(app, qtTranslator);

    QString error;
    QString help;
    const std::optional<HostOptions> parsed =
        HostOptions::parse(QApplication::arguments(), &error, &help);
    if (!parsed) {
        if (!help.isEmpty()) {
            std::fputs(qUtf8Printable(help), stdout);
            return 0;
        }
        std::fprintf(stderr, "cht-host: %s\n", qUtf8Printable(error));
        return 2;
    }
    const HostOptions& options = *parsed;
    try {
        ServerSession::SetTrustedCertificates(options.caFile);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cht-host: %s\n", e.what());
        return 2;
    }

    // ~/.config/Corvanta/cht-host.ini
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Corvanta"),
                       QStringLiteral("cht-host"));
    LoginValues session = LoginDialog::merge(options.given, LoginDialog::remembered(settings));
    // The module loads only once the server has taken the operator's password.
    ServerSession::Operator signedIn;
    const LoginDialog::SignIn signIn = LoginDialog::serverSignIn(signedIn);
    // An unattended start (./cht demo) hands the password over in the environment, never on a
    // command line; it is taken out at once, so that nothing started from here sees it.
    QString password = qEnvironmentVariable("CHT_PASSWORD");
    qunsetenv("CHT_PASSWORD");
    bool unattended = false;
    if (options.skipsLogin() && !password.isEmpty()) {
        const QString refusal = signIn(session, password);
        unattended = refusal.isEmpty();
        if (!unattended)
            std::fprintf(stderr, "cht-host: %s\n", qUtf8Printable(refusal));
    }
    password.fill(QLatin1Char(' '));
    password.clear();
    if (!unattended) {
        if (options.smoke)
            return 1;
        LoginDialog login(session);
        login.setSignIn(signIn);
        if (login.exec() != QDialog::Accepted)
            return 0;
        session = login.values();
        LoginDialog::remember(settings, session);
    }
    // The operator as the server knows it (codes are upper case there).
    session.operador = signedIn.code;

    Corvanta::SetSession(session.operador, session.server, session.port);
    cht::framework::dtmDBGeral::Configure(session.database);

    ModuleLoader loader(options.modulePath);
    MainWindow window(loader, session);
    // A session that ended under a screen: the operator types the password again and the call
    // that found it ended is repeated, so nothing on the screen is lost.
    ServerSession::SetRenewal([&] {
        LoginDialog again(session, &window);
        again.setSignIn(signIn);
        again.setRenewal(QStringLiteral("Sua sessão no servidor terminou. Informe a senha para "
                                        "continuar; nada do que está na tela se perdeu."));
        return again.exec() == QDialog::Accepted;
    });
    Application::SetMainForm(&window);
    Application::SetMdiArea(window.mdiArea());
    // Errors keep the framework's own display: a modal "Erro" box over the main window, which
    // scripted runs answer through the dialog responder.
    window.show();

    const bool moduleLoaded = loader.load();
    window.refreshModuleState();
    if (options.smoke)
        startSmoke(window, moduleLoaded ? QString() : loader.errorText(), options.screenshotPath);
    else
        QTimer::singleShot(0, &window, [&] {
            if (!moduleLoaded)
                Application::ShowError(loader.errorText());
            else if (options.openModule)
                window.openModule();
        });
    if (!options.screenshotPath.isEmpty() && !options.smoke) {
        QTimer::singleShot(
            options.screenshotDelayMs, &window,
            [&] {
                const bool saved = grabHostWindows(&window).save(options.screenshotPath, "PNG");
                if (saved)
                    std::printf("screenshot: %s\n", qUtf8Printable(options.screenshotPath));
                else
                    std::fprintf(stderr, "cht-host: não foi possível salvar a imagem em %s\n",
                                 qUtf8Printable(options.screenshotPath));
                std::fflush(stdout);
                QApplication::exit(saved ? 0 : 1);
            });
    }

    const int rc = QApplication::exec();
    window.closeScreens();
    Application::SetMainForm(nullptr);
    Application::SetMdiArea(nullptr);
    loader.finalize();
    ServerSession::SetRenewal({});
    ServerSession::SignOut(session.server, session.port);
    return rc;
}
