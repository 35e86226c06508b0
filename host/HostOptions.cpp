#include "HostOptions.h"

#include "framework/ServerAddress.h"

#include <QCommandLineParser>

namespace cht::host {

std::optional<HostOptions> HostOptions::parse(const QStringList& arguments, QString* error,
                                              QString* helpText)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Corvanta — Gerenciamento: hospeda o módulo "
                                                    "Gerenciamento de CHT."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Mostra esta ajuda."));
    const QCommandLineOption operador(
        QStringLiteral("operator"),
        QStringLiteral("Operador da sessão; com a senha na variável de ambiente CHT_PASSWORD, "
                       "dispensa a tela de login."),
        QStringLiteral("operador"));
    const QCommandLineOption server(
        QStringLiteral("server"),
        QStringLiteral(
            "Endereço do servidor de aplicação: nome, ou https://nome:porta para HTTPS."),
        QStringLiteral("host"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Porta do servidor de aplicação."),
                                  QStringLiteral("porta"));
    const QCommandLineOption db(QStringLiteral("db"),
                                QStringLiteral("Banco de dados do host: sqlite:ARQUIVO ou uma "
                                               "conexão PostgreSQL (postgresql://...)."),
                                QStringLiteral("banco"));
    const QCommandLineOption ca(QStringLiteral("ca"),
                                QStringLiteral("Certificados (PEM) das autoridades em que o "
                                               "certificado de um servidor HTTPS deve se apoiar "
                                               "(padrão: as do sistema)."),
                                QStringLiteral("arquivo"));
    const QCommandLineOption module(QStringLiteral("module"),
                                    QStringLiteral("Arquivo do módulo (padrão: libcot09800.so ao "
                                                   "lado do executável)."),
                                    QStringLiteral("arquivo"));
    const QCommandLineOption open(QStringLiteral("open"),
                                  QStringLiteral("Abre o Gerenciamento de CHT ao iniciar."));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Salva uma imagem das janelas em ARQUIVO "
                                                       "(PNG) e encerra."),
                                        QStringLiteral("arquivo"));
    const QCommandLineOption delay(QStringLiteral("screenshot-delay"),
                                   QStringLiteral("Espera antes da imagem, em milissegundos."),
                                   QStringLiteral("ms"));
    const QCommandLineOption smoke(QStringLiteral("smoke"),
                                   QStringLiteral("Execução de demonstração sem operador."));
    parser.addOptions(
        {help, operador, server, port, db, ca, module, open, screenshot, delay, smoke});

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error =
            QStringLiteral("Argumento inesperado: %1").arg(parser.positionalArguments().first());
        return std::nullopt;
    }
    if (parser.isSet(help)) {
        if (helpText)
            *helpText = parser.helpText();
        error->clear();
        return std::nullopt;
    }

    HostOptions o;
    o.given.operador = parser.value(operador).trimmed();
    o.given.server = parser.value(server).trimmed();
    o.given.database = parser.value(db).trimmed();
    if (parser.isSet(port)) {
        bool ok = false;
        const int p = parser.value(port).toInt(&ok);
        if (!ok || p < 1 || p > 65535) {
            *error = QStringLiteral("Porta inválida: \"%1\" (use um número de 1 a 65535).")
                         .arg(parser.value(port));
            return std::nullopt;
        }
        o.given.port = p;
    }
    if (parser.isSet(server) && o.given.server.isEmpty()) {
        *error = QStringLiteral("O endereço do servidor não pode ficar vazio.");
        return std::nullopt;
    }
    if (!o.given.server.isEmpty()) {
        // The port of the URL, else --port, else (0) the one the login fills in.
        const auto address =
            cht::framework::ServerAddress::parse(o.given.server, o.given.port, error);
        if (!address)
            return std::nullopt;
        o.given.server = address->server();
        o.given.port = address->port;
    }
    o.caFile = parser.value(ca).trimmed();
    o.modulePath = parser.value(module);
    o.openModule = parser.isSet(open);
    o.screenshotPath = parser.value(screenshot);
    if (parser.isSet(delay)) {
        bool ok = false;
        o.screenshotDelayMs = parser.value(delay).toInt(&ok);
        if (!ok || o.screenshotDelayMs < 0) {
            *error = QStringLiteral("Espera inválida: \"%1\".").arg(parser.value(delay));
            return std::nullopt;
        }
    }
    o.smoke = parser.isSet(smoke);
    return o;
}

} // namespace cht::host
