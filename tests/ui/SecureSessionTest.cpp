// The connection over HTTPS against a real cht-server with a certificate the test makes: calls
// with the authority given to the host, refusals of a certificate it cannot trust before anything
// is sent, the password never sent in clear text off this machine, and two server processes over
// one database sharing their sessions.
#include "framework/ServerAddress.h"
#include "framework/ServerSession.h"
#include "module/contracts/Forms.h"
#include "module/contracts/Netconnection.h"
#include "platform/dataset/ClientDataSet.h"
#include "tests/support/HostDatabase.h"
#include "tests/support/RecordingTransport.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TestCertificate.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

using namespace cht::framework;
using cht::testing::Backend;
using cht::testing::HostDatabase;
using cht::testing::ServerProcess;
using cht::testing::TestCertificate;

namespace {

const QString kServerName = QStringLiteral("COT09800.rdmCancelaCHT");

/// What a call raised, or empty when it raised nothing.
QString raised(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

/// The remote object at an address, on a connection of its own.
class Remote {
public:
    Remote(const QString& host, int port)
    {
        m_connection.ServerName = kServerName;
        m_connection.Host = host;
        m_connection.Port = port;
        m_connection.TimeoutMs = 30000;
    }
    TServerResult call(const QString& method, std::vector<TRemoteArg> args = {})
    {
        return m_connection.AppServer().Call(method, std::move(args));
    }
    /// Every CHT in the database, as the operator's list shows them.
    TServerResult listAll()
    {
        QString clientes, todosClientes = QStringLiteral("T"), funcs,
                          todosFuncs = QStringLiteral("T"), situacao = QStringLiteral("_P_A_N_R_");
        double from = 1, to = 2958465; // 31/12/1899 to 31/12/9999
        return call(QStringLiteral("GetCHT"),
                    {TRemoteArg::ByRef(clientes), TRemoteArg::ByRef(todosClientes),
                     TRemoteArg::ByRef(funcs), TRemoteArg::ByRef(todosFuncs),
                     TRemoteArg::ByRef(from), TRemoteArg::ByRef(to), TRemoteArg::ByRef(situacao),
                     TRemoteArg::ByVal(QStringLiteral("DEMO"))});
    }
    TNetConnection& connection() { return m_connection; }

private:
    TNetConnection m_connection;
};

/// Lines of a server's log that record a call of `method`.
int loggedCalls(const ServerProcess& server, const QString& method)
{
    QFile log(server.logPath());
    if (!log.open(QIODevice::ReadOnly))
        return -1;
    const QStringList lines = QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'));
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const QString& l) {
        return l.contains(method + QStringLiteral(" op="));
    }));
}

/// Files of certificates and keys in a folder of the test's own.
class Certificates {
public:
    QString write(const QString& name, const TestCertificate& made)
    {
        const QString cert = m_dir.filePath(name + QStringLiteral(".pem"));
        made.write(cert.toStdString(), keyOf(name).toStdString());
        return cert;
    }
    QString keyOf(const QString& name) const
    {
        return m_dir.filePath(name + QStringLiteral("-key.pem"));
    }

private:
    QTemporaryDir m_dir;
};

/// A TLS server over the demo database, its certificate issued for localhost only.
class SecureConnection : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_certificates = new Certificates;
        s_cert = s_certificates->write(QStringLiteral("localhost"),
                                       TestCertificate::selfSigned({"localhost"}));
        ServerSession::SetTrustedCertificates(s_cert);
        s_server = new ServerProcess(30);
        s_server->useTls(s_cert, s_certificates->keyOf(QStringLiteral("localhost")));
        s_started = s_server->start();
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        delete s_certificates;
        ServerSession::SetTrustedCertificates({});
        ServerSession::SetToken({});
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_started) << s_server->error().toStdString();
        ServerSession::SetTrustedCertificates(s_cert);
        ASSERT_TRUE(s_server->signIn()) << s_server->error().toStdString();
    }

    static inline Certificates* s_certificates = nullptr;
    static inline QString s_cert;
    static inline ServerProcess* s_server = nullptr;
    static inline bool s_started = false;
};

TEST_F(SecureConnection, CallsTravelOverHttpsWithTheAuthorityTheHostWasGiven)
{
    Remote remote(s_server->address(), s_server->port());
    EXPECT_EQ(remote.connection().Host, QStringLiteral("https://localhost"));
    remote.connection().Open();
    EXPECT_TRUE(remote.connection().Connected());
    const TServerResult data = remote.call(QStringLiteral("GetData"));
    EXPECT_TRUE(data.ok) << data.failure.toStdString();
    const TServerResult list = remote.listAll();
    ASSERT_TRUE(list.ok) << list.failure.toStdString();
    ASSERT_TRUE(list.data);
    EXPECT_EQ(list.data->rowCount(), 30u);
    EXPECT_GE(loggedCalls(*s_server, QStringLiteral("GetCHT")), 1);
}

// A certificate of another authority, one for another name, one that expired, or the system's
// authorities that never issued it: each refused with a message naming the server, before the
// request is sent; the session in hand stays.
TEST_F(SecureConnection, AnUntrustedCertificateIsRefusedBeforeAnythingIsSent)
{
    const std::string token = ServerSession::Token();
    const int signIns = loggedCalls(*s_server, QStringLiteral("Sessao.Entrar"));
    ASSERT_GE(signIns, 1);
    const QString where = QStringLiteral("https://localhost:%1").arg(s_server->port());
    auto signIn = [&](const QString& host) {
        return raised([&] {
            ServerSession::SignIn(host, s_server->port(), QStringLiteral("DEMO"),
                                  QStringLiteral("demo-cht"));
        });
    };

    const QString other =
        s_certificates->write(QStringLiteral("other"), TestCertificate::selfSigned({"localhost"}));
    ServerSession::SetTrustedCertificates(other);
    const QString wrongAuthority = signIn(QStringLiteral("https://localhost"));
    EXPECT_TRUE(wrongAuthority.startsWith(
        QStringLiteral("O certificado do servidor de aplicação em %1 não é confiável").arg(where)))
        << wrongAuthority.toStdString();
    EXPECT_TRUE(wrongAuthority.contains(QStringLiteral("autoridade certificadora de ") + other))
        << wrongAuthority.toStdString();
    EXPECT_TRUE(wrongAuthority.contains(QStringLiteral("Nada foi enviado")));

    ServerSession::SetTrustedCertificates({});
    const QString systemStore = signIn(QStringLiteral("https://localhost"));
    EXPECT_TRUE(systemStore.contains(QStringLiteral("não é confiável")))
        << systemStore.toStdString();
    EXPECT_TRUE(systemStore.contains(QStringLiteral("--ca"))) << systemStore.toStdString();

    ServerSession::SetTrustedCertificates(s_cert);
    const QString wrongName = signIn(QStringLiteral("https://127.0.0.1"));
    EXPECT_TRUE(wrongName.contains(
        QStringLiteral("https://127.0.0.1:%1 não é confiável").arg(s_server->port())))
        << wrongName.toStdString();
    EXPECT_TRUE(wrongName.contains(QStringLiteral("não foi emitido para o nome \"127.0.0.1\"")))
        << wrongName.toStdString();
    Remote byAddress(QStringLiteral("https://127.0.0.1"), s_server->port());
    EXPECT_TRUE(raised([&] {
                    byAddress.connection().Open();
                }).contains(QStringLiteral("não foi emitido para o nome")));

    // The same server with an expired certificate of the trusted authority's name.
    Certificates expired;
    const QString old =
        expired.write(QStringLiteral("old"), TestCertificate::selfSigned({"localhost"}, -1));
    ServerProcess stale(s_server->databasePath());
    stale.useTls(old, expired.keyOf(QStringLiteral("old")));
    ServerSession::SetTrustedCertificates(old);
    EXPECT_FALSE(stale.serve()); // its own sign-in is refused
    EXPECT_TRUE(stale.error().contains(QStringLiteral("expirou"))) << stale.error().toStdString();
    EXPECT_EQ(loggedCalls(stale, QStringLiteral("Sessao.Entrar")), 0);

    EXPECT_EQ(loggedCalls(*s_server, QStringLiteral("Sessao.Entrar")), signIns);
    EXPECT_EQ(ServerSession::Token(), token);
}

// Plain HTTP off this machine would carry the password in clear text: refused before the
// transport is asked for anything. Loopback addresses and HTTPS reach it.
TEST(SignIn, ThePasswordNeverTravelsInClearTextOffThisMachine)
{
    struct Unreachable : TNetTransport {
        std::string Post(const QString&, int, const std::string&, int) override
        {
            throw EServerError("alcançado");
        }
    };
    auto recording = std::make_shared<RecordingTransport>(std::make_shared<Unreachable>());
    auto signIn = [&](const QString& server) {
        return raised([&] {
            ServerSession::SignIn(server, 8080, QStringLiteral("DEMO"), QStringLiteral("x"),
                                  recording);
        });
    };
    for (const char* server :
         {"10.0.0.5", "http://192.168.0.10:8080", "app.local", "http://[2001:db8::1]:8080"}) {
        const QString refusal = signIn(QLatin1String(server));
        EXPECT_TRUE(refusal.contains(QStringLiteral("a senha não é enviada sem criptografia")))
            << server << ": " << refusal.toStdString();
        EXPECT_TRUE(refusal.contains(QStringLiteral("Use https://"))) << server;
    }
    for (const char* server : {"ftp://app.local", "https://", "https://app.local/cht",
                               "https://ana@app.local", "app.local:70000"})
        EXPECT_TRUE(
            signIn(QLatin1String(server)).startsWith(QStringLiteral("Endereço do servidor")))
            << server;
    EXPECT_TRUE(recording->calls().empty());

    for (const char* server : {"127.0.0.1", "127.0.0.2", "localhost", "[::1]", "https://10.0.0.5",
                               "https://app.local:8443"})
        EXPECT_EQ(signIn(QLatin1String(server)), QStringLiteral("alcançado")) << server;
    EXPECT_EQ(recording->methods(), std::vector<std::string>(6, "Entrar"));
}

TEST(ServerAddress, ReadsTheFormsTheHostAccepts)
{
    const auto https = ServerAddress::parse(QStringLiteral(" HTTPS://App.Local:8443/ "), 8080);
    ASSERT_TRUE(https);
    EXPECT_TRUE(https->https);
    EXPECT_EQ(https->port, 8443);
    EXPECT_EQ(https->server(), QStringLiteral("https://app.local"));
    EXPECT_EQ(https->display(), QStringLiteral("https://app.local:8443"));
    const auto bare = ServerAddress::parse(QStringLiteral("10.0.0.5"), 8080);
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->https);
    EXPECT_EQ(bare->server(), QStringLiteral("10.0.0.5"));
    EXPECT_EQ(bare->port, 8080);
    const auto v6 = ServerAddress::parse(QStringLiteral("https://[::1]"), 9000);
    ASSERT_TRUE(v6);
    EXPECT_TRUE(v6->loopback());
    EXPECT_EQ(v6->display(), QStringLiteral("https://[::1]:9000"));
    EXPECT_EQ(ServerAddress::parse(QStringLiteral("http://cht:81"), 0)->port, 81);
    EXPECT_EQ(ServerAddress::parse(QStringLiteral("cht"), 0)->port, 0);
    EXPECT_FALSE(ServerAddress::parse(QStringLiteral("128.0.0.1"), 1)->loopback());
    EXPECT_FALSE(ServerAddress::parse(QStringLiteral("localhost.example.com"), 1)->loopback());
    QString error;
    EXPECT_FALSE(ServerAddress::parse(QStringLiteral("cht:0"), 8080, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("porta"))) << error.toStdString();
}

// Two cht-server processes over one database: a session made through one is honoured by the
// other, conflicting saves through both let exactly one through, and signing out on one ends the
// session on both.
class TwoServerProcesses : public ::testing::TestWithParam<Backend> {};

CHT_HOST_DATABASE_SUITE(TwoServerProcesses);

TEST_P(TwoServerProcesses, ShareSessionsAndLetOneOfTwoConflictingSavesThrough)
{
    HostDatabase db(GetParam());
    if (!db.available())
        GTEST_SKIP() << db.error().toStdString();
    ServerProcess one(ServerProcess::DemoAt{db.url(), 30});
    ASSERT_TRUE(one.start()) << one.error().toStdString();
    ServerProcess two(ServerProcess::DemoAt{db.url()});
    ASSERT_TRUE(two.serve()) << two.error().toStdString();
    ASSERT_TRUE(one.signIn()) << one.error().toStdString();
    const std::string token = ServerSession::Token();
    ASSERT_FALSE(token.empty());

    Remote first(one.address(), one.port());
    Remote second(two.address(), two.port());
    const TServerResult data = second.call(QStringLiteral("GetData"));
    EXPECT_TRUE(data.ok) << data.failure.toStdString();

    TServerResult list = first.listAll();
    ASSERT_TRUE(list.ok && list.data) << list.failure.toStdString();
    cht::platform::TClientDataSet rows;
    rows.loadFromPacket(std::move(*list.data));
    ASSERT_GT(rows.recordCount(), 0);
    rows.first();
    cht::platform::TField& paid = rows.fieldByName(QStringLiteral("IDCHTPGTOOK"));
    const QString before = paid.asString();
    rows.edit();
    paid.setAsString(before == QLatin1String("S") ? QStringLiteral("N") : QStringLiteral("S"));
    rows.post();
    const TServerResult here =
        first.call(QStringLiteral("SetCHT"), {TRemoteArg::Delta(rows.delta())});
    const TServerResult there =
        second.call(QStringLiteral("SetCHT"), {TRemoteArg::Delta(rows.delta())});
    EXPECT_EQ(int(here.ok) + int(there.ok), 1);
    EXPECT_TRUE(
        (here.ok ? there : here).failure.contains(QStringLiteral("alterada por outro usuário")))
        << (here.ok ? there : here).failure.toStdString();

    ServerSession::SignOut(two.address(), two.port());
    for (Remote* remote : {&first, &second}) {
        ServerSession::SetToken(token);
        const QString refusal = raised([&] { remote->call(QStringLiteral("GetData")); });
        EXPECT_TRUE(refusal.contains(QStringLiteral("sessão"))) << refusal.toStdString();
    }
    ServerSession::SetToken({});
}

} // namespace
