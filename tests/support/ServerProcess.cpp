#include "tests/support/ServerProcess.h"

#include "framework/ServerSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cht::testing {

namespace {

// A port the kernel had free a moment ago; the server binds it right after.
int freeLoopbackPort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

bool accepts(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

} // namespace

ServerProcess::ServerProcess(int chts) : m_chts(chts) {}

ServerProcess::ServerProcess(const QString& database) : m_database(database) {}

ServerProcess::ServerProcess(DemoAt demo) : m_chts(demo.chts), m_url(std::move(demo.database)) {}

ServerProcess::~ServerProcess()
{
    stop();
}

QString ServerProcess::serverBinary()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("cht-server"));
}

QString ServerProcess::databasePath() const
{
    return m_database.isEmpty() ? m_dir.filePath(QStringLiteral("demo.db")) : m_database;
}

QString ServerProcess::databaseUrl() const
{
    return m_url.isEmpty() ? QStringLiteral("sqlite:") + databasePath() : m_url;
}

QString ServerProcess::logPath() const
{
    return m_dir.filePath(QStringLiteral("server.log"));
}

bool ServerProcess::start()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString db = databaseUrl();

    QStringList initArgs{QStringLiteral("--db"), db, QStringLiteral("--init-demo")};
    if (m_chts >= 0)
        initArgs << QStringLiteral("--chts") << QString::number(m_chts);
    QProcess init;
    init.setProcessChannelMode(QProcess::MergedChannels);
    init.start(serverBinary(), initArgs);
    if (!init.waitForFinished(600000) || init.exitStatus() != QProcess::NormalExit ||
        init.exitCode() != 0) {
        m_error = QStringLiteral("cht-server --init-demo failed: ") +
                  QString::fromLocal8Bit(init.readAll());
        return false;
    }

    return serve();
}

bool ServerProcess::serve(const QStringList& options)
{
    stop();
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_port = freeLoopbackPort();
        if (launch(options))
            return true;
    }
    return false;
}

bool ServerProcess::restart(const QStringList& options)
{
    stop();
    return launch(options);
}

bool ServerProcess::launch(const QStringList& options)
{
    stop();
    const QString db = databaseUrl();
    // The log goes to a file: a pipe nobody reads would stop the server once full.
    const QString log = logPath();
    m_process = std::make_unique<QProcess>();
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setStandardErrorFile(log);
    m_process->start(serverBinary(),
                     QStringList{QStringLiteral("--listen"),
                                 QStringLiteral("127.0.0.1:") + QString::number(m_port),
                                 QStringLiteral("--db"), db} +
                         m_tls + options);
    if (waitReady(15000))
        return signIn();
    stop();
    QFile file(log);
    const QString said =
        file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    m_error = QStringLiteral("cht-server did not start listening on port %1: %2")
                  .arg(m_port)
                  .arg(said.trimmed().right(600));
    return false;
}

bool ServerProcess::signIn(const QString& operador)
{
    try {
        cht::framework::ServerSession::SignIn(address(), m_port, operador,
                                              QStringLiteral("demo-cht"));
        return true;
    } catch (const std::exception& e) {
        m_error =
            QStringLiteral("sign-in of %1 failed: %2").arg(operador, QString::fromUtf8(e.what()));
        return false;
    }
}

void ServerProcess::useTls(const QString& certificateFile, const QString& keyFile)
{
    m_tls = {QStringLiteral("--tls-cert"), certificateFile, QStringLiteral("--tls-key"), keyFile};
}

QString ServerProcess::address() const
{
    return m_tls.isEmpty() ? QStringLiteral("127.0.0.1") : QStringLiteral("https://localhost");
}

bool ServerProcess::waitReady(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (m_process->state() == QProcess::NotRunning)
            return false;
        if (accepts(m_port))
            return true;
        QThread::msleep(20);
    }
    return false;
}

void ServerProcess::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }
    m_process.reset();
}

} // namespace cht::testing
