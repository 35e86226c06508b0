// The host's login: operator, application server and database, remembered between sessions.
#pragma once

#include "HostOptions.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QSettings;
class QSpinBox;

namespace cht::host {

class LoginDialog : public QDialog {
    Q_OBJECT
public:
    explicit LoginDialog(const LoginValues& initial, QWidget* parent = nullptr);

    /// What the operator typed (trimmed).
    LoginValues values() const;

    /// The values of the last login; empty where none was saved.
    static LoginValues remembered(QSettings& settings);
    static void remember(QSettings& settings, const LoginValues& values);
    /// Given values win, then remembered ones, then the defaults of a fresh install.
    static LoginValues merge(const LoginValues& given, const LoginValues& remembered);

    QLineEdit* operadorEdit() const { return m_operador; }
    QLineEdit* serverEdit() const { return m_server; }
    QSpinBox* portEdit() const { return m_port; }
    QLineEdit* databaseEdit() const { return m_database; }
    QLabel* errorLabel() const { return m_error; }

    void accept() override;

private:
    QLineEdit* m_operador;
    QLineEdit* m_server;
    QSpinBox* m_port;
    QLineEdit* m_database;
    QLabel* m_error;
};

} // namespace cht::host
