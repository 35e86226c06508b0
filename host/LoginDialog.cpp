#include "LoginDialog.h"

#include "framework/ServerAddress.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

namespace cht::host {

namespace {
const QString kOperador = QStringLiteral("login/operador");
const QString kServer = QStringLiteral("login/servidor");
const QString kPort = QStringLiteral("login/porta");
const QString kDatabase = QStringLiteral("login/banco");
} // namespace

LoginDialog::LoginDialog(const LoginValues& initial, QWidget* parent)
    : QDialog(parent), m_operador(new QLineEdit(initial.operador)), m_password(new QLineEdit),
      m_server(new QLineEdit(initial.server)), m_port(new QSpinBox),
      m_database(new QLineEdit(initial.database)), m_error(new QLabel)
{
    setWindowTitle(QStringLiteral("Corvanta — Entrar"));
    m_operador->setObjectName(QStringLiteral("edtOperador"));
    m_password->setObjectName(QStringLiteral("edtSenha"));
    m_password->setEchoMode(QLineEdit::Password);
    m_server->setObjectName(QStringLiteral("edtServidor"));
    m_port->setObjectName(QStringLiteral("spnPorta"));
    m_database->setObjectName(QStringLiteral("edtBanco"));
    m_port->setRange(1, 65535);
    m_port->setValue(initial.port > 0 ? initial.port : HostOptions::kDefaultPort);
    m_database->setPlaceholderText(QStringLiteral("sqlite:ARQUIVO ou postgresql://..."));
    m_database->setMinimumWidth(320);
    m_error->setStyleSheet(QStringLiteral("color: #b00020;"));
    m_error->setVisible(false);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Operador:"), m_operador);
    form->addRow(QStringLiteral("S&enha:"), m_password);
    m_server->setPlaceholderText(QStringLiteral("nome, ou https://nome:porta"));
    form->addRow(QStringLiteral("&Servidor de aplicação:"), m_server);
    form->addRow(QStringLiteral("&Porta:"), m_port);
    form->addRow(QStringLiteral("&Banco de dados:"), m_database);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Entrar"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("&Cancelar"));
    connect(buttons, &QDialogButtonBox::accepted, this, &LoginDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &LoginDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_error);
    layout->addWidget(buttons);

    (m_operador->text().isEmpty() ? m_operador : m_password)->setFocus();
}

LoginDialog::SignIn LoginDialog::serverSignIn(cht::framework::ServerSession::Operator& who)
{
    return [&who](const LoginValues& v, const QString& password) {
        try {
            who = cht::framework::ServerSession::SignIn(v.server, v.port, v.operador, password);
            return QString();
        } catch (const std::exception& e) {
            return QString::fromUtf8(e.what());
        }
    };
}

void LoginDialog::setRenewal(const QString& reason)
{
    for (QWidget* w : std::initializer_list<QWidget*>{m_operador, m_server, m_port, m_database})
        w->setEnabled(false);
    m_error->setText(reason);
    m_error->setVisible(!reason.isEmpty());
    m_password->clear();
    m_password->setFocus();
}

LoginValues LoginDialog::values() const
{
    LoginValues v{m_operador->text().trimmed(), m_server->text().trimmed(), m_port->value(),
                  m_database->text().trimmed()};
    // "https://name:port" keeps its scheme; its port is the one remembered.
    if (const auto address = cht::framework::ServerAddress::parse(v.server, v.port)) {
        v.server = address->server();
        v.port = address->port;
    }
    return v;
}

void LoginDialog::accept()
{
    const LoginValues v = values();
    QString problem;
    QLineEdit* offending = nullptr;
    if (v.operador.isEmpty()) {
        problem = QStringLiteral("Informe o operador.");
        offending = m_operador;
    } else if (v.server.isEmpty()) {
        problem = QStringLiteral("Informe o endereço do servidor de aplicação.");
        offending = m_server;
    } else if (!cht::framework::ServerAddress::parse(v.server, v.port, &problem)) {
        offending = m_server;
    }
    if (!offending && m_signIn && m_password->text().isEmpty()) {
        problem = QStringLiteral("Informe a senha.");
        offending = m_password;
    }
    if (!offending && m_signIn) {
        problem = m_signIn(v, m_password->text());
        if (!problem.isEmpty()) {
            m_password->clear();
            offending = m_password;
        }
    }
    if (offending) {
        m_error->setText(problem);
        m_error->setVisible(true);
        offending->setFocus();
        return;
    }
    m_password->clear();
    QDialog::accept();
}

LoginValues LoginDialog::remembered(QSettings& settings)
{
    return LoginValues{settings.value(kOperador).toString(), settings.value(kServer).toString(),
                       settings.value(kPort, 0).toInt(), settings.value(kDatabase).toString()};
}

void LoginDialog::remember(QSettings& settings, const LoginValues& values)
{
    settings.setValue(kOperador, values.operador);
    settings.setValue(kServer, values.server);
    settings.setValue(kPort, values.port);
    settings.setValue(kDatabase, values.database);
    settings.sync();
}

LoginValues LoginDialog::merge(const LoginValues& given, const LoginValues& remembered)
{
    auto pick = [](const QString& a, const QString& b, const QString& fallback) {
        return !a.isEmpty() ? a : !b.isEmpty() ? b : fallback;
    };
    LoginValues v;
    v.operador = pick(given.operador, remembered.operador, {});
    v.server =
        pick(given.server, remembered.server, QString::fromLatin1(HostOptions::kDefaultServer));
    v.port = given.port > 0        ? given.port
             : remembered.port > 0 ? remembered.port
                                   : HostOptions::kDefaultPort;
    v.database = pick(given.database, remembered.database, {});
    return v;
}

} // namespace cht::host
