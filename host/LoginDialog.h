// The host's login: operator, password, application server and database; all but the password
// remembered between sessions.
#pragma once

#include "HostOptions.h"
#include "framework/ServerSession.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QSettings;
class QSpinBox;

namespace cht::host {

class LoginDialog : public QDialog {
    Q_OBJECT
public:
    /// Signs in with the values and the password; returns the refusal in Portuguese, or
    /// nothing when signed in.
    using SignIn = std::function<QString(const LoginValues& values, const QString& password)>;

    explicit LoginDialog(const LoginValues& initial, QWidget* parent = nullptr);

    /// Signs in at the values' server; `who` receives the operator as the server knows them.
    static SignIn serverSignIn(cht::framework::ServerSession::Operator& who);

    /// Accepting signs in first: a refusal is shown and the dialog stays, its password cleared.
    void setSignIn(SignIn signIn) { m_signIn = std::move(signIn); }
    /// Signing in again in the middle of work: only the password can be typed, for the same
    /// operator and server, with the reason said above it.
    void setRenewal(const QString& reason);

    /// What the operator typed (trimmed).
    LoginValues values() const;

    /// The values of the last login; empty where none was saved.
    static LoginValues remembered(QSettings& settings);
    static void remember(QSettings& settings, const LoginValues& values);
    /// Given values win, then remembered ones, then the defaults of a fresh install.
    static LoginValues merge(const LoginValues& given, const LoginValues& remembered);

    QLineEdit* operadorEdit() const { return m_operador; }
    QLineEdit* passwordEdit() const { return m_password; }
    QLineEdit* serverEdit() const { return m_server; }
    QSpinBox* portEdit() const { return m_port; }
    QLineEdit* databaseEdit() const { return m_database; }
    QLabel* errorLabel() const { return m_error; }

    void accept() override;

private:
    QLineEdit* m_operador;
    QLineEdit* m_password;
    QLineEdit* m_server;
    QSpinBox* m_port;
    QLineEdit* m_database;
    QLabel* m_error;
    SignIn m_signIn;
};

} // namespace cht::host
