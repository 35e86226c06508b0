// A real cht-server on loopback over a temporary SQLite demo database, for the screen tests. The
// server only serves a database that exists: start() makes the demo one with --init-demo first.
// Once it listens, the demo operator is signed in: every connection of the test process carries
// that session.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace cht::testing {

class ServerProcess {
public:
    /// chts < 0: the demo generator's default amount.
    explicit ServerProcess(int chts = -1);
    /// A server over an existing SQLite file (serve() only: nothing is generated).
    explicit ServerProcess(const QString& database);
    /// The demo generated into the database a cht-server --db text names (an empty one).
    struct DemoAt {
        QString database;
        int chts = -1;
    };
    explicit ServerProcess(DemoAt demo);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    /// Creates the demo database and starts serving; false with the reason in error().
    bool start();
    /// Serves the database again on a new port, restarted with these extra command-line options;
    /// false with the reason (the server's last words when it refused to start) in error().
    bool serve(const QStringList& options = {});
    /// Stops and starts the server again on the same port, as an operator restarting it would.
    bool restart(const QStringList& options = {});
    void stop();

    /// Serves HTTPS with this certificate and key from the next launch on; the certificate must
    /// name localhost, and the test must trust it (ServerSession::SetTrustedCertificates).
    void useTls(const QString& certificateFile, const QString& keyFile);
    /// The server as a connection is given it: "127.0.0.1", or "https://localhost" over TLS.
    QString address() const;
    int port() const { return m_port; }
    QString databasePath() const;
    /// The --db text the server runs on.
    QString databaseUrl() const;
    const QString& error() const { return m_error; }
    /// The running server's log (its standard error), one line per call.
    QString logPath() const;
    /// The server binary: next to the running executable.
    static QString serverBinary();
    /// Signs an operator of the demo in with the demo password (the session every connection of
    /// this process then uses); false with the reason in error().
    bool signIn(const QString& operador = QStringLiteral("DEMO"));

private:
    bool launch(const QStringList& options);
    bool waitReady(int timeoutMs);

    int m_chts = -1;
    QString m_database;
    QString m_url; // when the database is not a SQLite file of ours
    int m_port = 0;
    QStringList m_tls;
    QString m_error;
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
};

} // namespace cht::testing
