// The server connection against real sockets (refused, silent, an echoing httplib server) and
// against fake transports (malformed replies, failure reports, injected faults).
#include "module/contracts/Netconnection.h"
#include "module/contracts/Consiste.h"
#include "module/contracts/Forms.h"
#include "tests/support/FaultyTransport.h"
#include "tests/support/RecordingTransport.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

using namespace cht::framework;
using cht::wire::RpcArg;

namespace {

const QString kServerName = QStringLiteral("COT09800.rdmCancelaCHT");

/// A loopback socket bound to a port the kernel chose; listening or not, it never accepts.
class SilentSocket {
public:
    explicit SilentSocket(bool listening)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            throw std::runtime_error("bind");
        socklen_t len = sizeof addr;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        if (listening && ::listen(m_fd, 8) != 0)
            throw std::runtime_error("listen");
    }
    ~SilentSocket() { ::close(m_fd); }
    int port() const { return m_port; }
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
    int m_port = 0;
};

/// Accepts one connection, reads the request, then sends its answer one byte every 100 ms, for
/// as long as it lives: every read succeeds, and the answer never ends.
class TricklingServer {
public:
    TricklingServer() : m_listening(true)
    {
        m_thread = std::thread([this] {
            pollfd p{m_listening.fd(), POLLIN, 0};
            while (!m_stop && ::poll(&p, 1, 50) == 0) {
            }
            if (m_stop)
                return;
            const int fd = ::accept(m_listening.fd(), nullptr, nullptr);
            char request[4096];
            ::recv(fd, request, sizeof request, 0);
            const std::string answer = "HTTP/1.1 200 OK\r\nX-Pad: " + std::string(1000, 'a');
            for (std::size_t at = 0; !m_stop && at < answer.size(); ++at) {
                ::send(fd, answer.data() + at, 1, MSG_NOSIGNAL);
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            ::close(fd);
        });
    }
    ~TricklingServer()
    {
        m_stop = true;
        m_thread.join();
    }
    int port() const { return m_listening.port(); }

private:
    SilentSocket m_listening;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

/// A port nobody listens on: bound once to learn a free number, then released.
int refusedPort()
{
    return SilentSocket(false).port();
}

/// Answers every call with what `reply` makes of the decoded request.
class FakeTransport : public TNetTransport {
public:
    explicit FakeTransport(std::function<std::string(const cht::wire::RpcRequest&)> reply)
        : m_reply(std::move(reply))
    {}
    std::string Post(const QString&, int, const std::string& body, int) override
    {
        return m_reply(cht::wire::decodeRequest(body));
    }

private:
    std::function<std::string(const cht::wire::RpcRequest&)> m_reply;
};

std::string okEmpty(const cht::wire::RpcRequest& r)
{
    return cht::wire::encodeResult(r.id, r.params, {});
}

/// The message of the EServerError `f` raises; fails the test when it raises nothing.
QString serverErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EServerError& e) {
        return QString::fromUtf8(e.what());
    }
    ADD_FAILURE() << "no EServerError raised";
    return {};
}

/// Collects what reaches the error display while it lives.
class ErrorCapture {
public:
    ErrorCapture()
    {
        Application::SetErrorDisplay([this](const QString& m) { shown << m; });
    }
    ~ErrorCapture() { Application::SetErrorDisplay(nullptr); }
    QStringList shown;
};

TNetConnection connectionTo(const QString& host, int port)
{
    TNetConnection c;
    c.ServerName = kServerName;
    c.BeforeConnect = [host, port](TNetConnection& sender) {
        sender.Host = host;
        sender.Port = port;
    };
    return c;
}

} // namespace

TEST(NetConnection, UnreachableServerIsAClearErrorEitherWay)
{
    const int port = refusedPort();
    const QString expected =
        QStringLiteral("Não foi possível conectar ao servidor de aplicação em 127.0.0.1:%1.")
            .arg(port);

    TNetConnection raising = connectionTo(QStringLiteral("127.0.0.1"), port);
    raising.ThrowException = true;
    EXPECT_EQ(serverErrorOf([&] { raising.Open(); }), expected);
    EXPECT_FALSE(raising.Connected());

    // ThrowException false: shown once by the connection, and Open returns normally.
    ErrorCapture capture;
    TNetConnection quiet = connectionTo(QStringLiteral("127.0.0.1"), port);
    quiet.ThrowException = false;
    EXPECT_NO_THROW(quiet.Open());
    EXPECT_FALSE(quiet.Connected());
    EXPECT_EQ(capture.shown, QStringList{expected});
    // A call on it still stops its caller, and is not shown a second time by the connection.
    EXPECT_EQ(serverErrorOf([&] { quiet.AppServer().Call(QStringLiteral("GetData"), {}); }),
              expected);
    EXPECT_EQ(capture.shown.size(), 1);
}

TEST(NetConnection, BeforeConnectRunsAtEveryOpenAndSetsTheAddress)
{
    int runs = 0;
    auto fake = std::make_shared<FakeTransport>(okEmpty);
    TNetConnection c;
    c.ServerName = kServerName;
    c.SetTransport(fake);
    c.BeforeConnect = [&](TNetConnection& sender) {
        ++runs;
        sender.Host = QStringLiteral("servidor");
        sender.Port = 9000 + runs;
    };
    c.Open();
    EXPECT_TRUE(c.Connected());
    c.Close();
    EXPECT_FALSE(c.Connected());
    c.AppServer(); // reopens
    EXPECT_TRUE(c.Connected());
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(c.Port, 9002);

    TNetConnection noAddress;
    noAddress.SetTransport(fake);
    EXPECT_TRUE(serverErrorOf([&] {
                    noAddress.Open();
                }).startsWith("Endereço do servidor de aplicação inválido"));
}

TEST(NetConnection, ServerThatNeverAnswersTimesOutWhileTheUiKeepsRunning)
{
    SilentSocket silent(true);
    TNetConnection c = connectionTo(QStringLiteral("127.0.0.1"), silent.port());
    c.TimeoutMs = 400;
    c.SetTransport(nullptr); // the HTTP transport
    // Open's health check goes unanswered too.
    EXPECT_EQ(serverErrorOf([&] { c.Open(); }),
              QStringLiteral("O servidor não respondeu em 0,4 segundos."));

    // Timers (and so painting) go on in the UI thread while the call waits.
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    const auto start = std::chrono::steady_clock::now();
    c.TimeoutMs = 1500;
    const QString message =
        serverErrorOf([&] { TRemoteServer(c).Call(QStringLiteral("GetData"), {}); });
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(message, QStringLiteral("O servidor não respondeu em 1,5 segundos."));
    EXPECT_GE(elapsed, std::chrono::milliseconds(1400));
    EXPECT_LT(elapsed, std::chrono::seconds(5));
    EXPECT_GE(ticks, 20);
}

// Every read of the answer succeeds, yet the answer never ends: the call's own deadline stops it.
TEST(NetConnection, ServerThatTricklesItsAnswerTimesOutAtTheCallsDeadline)
{
    TricklingServer trickling;
    TNetConnection c;
    c.ServerName = kServerName;
    c.Host = QStringLiteral("127.0.0.1");
    c.Port = trickling.port();
    c.TimeoutMs = 1000;
    c.SetTransport(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const QString message =
        serverErrorOf([&] { TRemoteServer(c).Call(QStringLiteral("GetData"), {}); });
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(message, QStringLiteral("O servidor não respondeu em 1 segundo."));
    EXPECT_GE(elapsed, std::chrono::milliseconds(900));
    EXPECT_LT(elapsed, std::chrono::seconds(4));
}

TEST(NetConnection, MalformedRepliesAndProtocolErrorsAreClear)
{
    auto fake = std::make_shared<FakeTransport>([](const cht::wire::RpcRequest& r) -> std::string {
        const std::string m = r.method;
        if (m.ends_with(".Lixo"))
            return "<html>502 Bad Gateway</html>";
        if (m.ends_with(".Truncada"))
            return R"({"jsonrpc":"2.0","id":)" + std::to_string(r.id) + R"(,"result":{"ok":tr)";
        if (m.ends_with(".OutraChamada"))
            return cht::wire::encodeResult(r.id + 7, {}, {});
        if (m.ends_with(".Interna"))
            return cht::wire::encodeProtocolError(r.id, cht::wire::kInternalError,
                                                  "banco indisponível");
        return cht::wire::encodeProtocolError(r.id, cht::wire::kMethodNotFound, "Method not found");
    });
    TNetConnection c;
    c.ServerName = kServerName;
    c.Host = QStringLiteral("h");
    c.Port = 1;
    c.SetTransport(fake);
    auto call = [&](const char* method) {
        return serverErrorOf([&] { c.AppServer().Call(QString::fromLatin1(method), {}); });
    };
    EXPECT_TRUE(call("Lixo").startsWith(QStringLiteral("Resposta inválida do servidor: ")));
    EXPECT_GT(call("Lixo").size(), QStringLiteral("Resposta inválida do servidor: ").size());
    EXPECT_TRUE(call("Truncada").startsWith(QStringLiteral("Resposta inválida do servidor: ")));
    EXPECT_TRUE(call("OutraChamada").startsWith(QStringLiteral("Resposta inválida do servidor: ")));
    EXPECT_EQ(call("Inexistente"),
              QStringLiteral("Método remoto desconhecido: COT09800.rdmCancelaCHT.Inexistente."));
    EXPECT_TRUE(call("Interna").contains(QStringLiteral("banco indisponível")));
}

TEST(NetConnection, ByReferenceValuesMustComeBackWholeOrNotAtAll)
{
    // The server answers a text where the caller passed a date by reference.
    auto fake = std::make_shared<FakeTransport>([](const cht::wire::RpcRequest& r) {
        std::vector<RpcArg> refs{RpcArg::ofText("novo"), RpcArg::ofText("errado")};
        return cht::wire::encodeResult(r.id, refs, {});
    });
    TNetConnection c;
    c.ServerName = kServerName;
    c.Host = QStringLiteral("h");
    c.Port = 1;
    c.SetTransport(fake);
    QString text = QStringLiteral("antes");
    double date = 46000.0;
    const QString message = serverErrorOf([&] {
        c.AppServer().Call(QStringLiteral("GetCHT"),
                           {TRemoteArg::ByRef(text), TRemoteArg::ByRef(date)});
    });
    EXPECT_TRUE(message.startsWith(QStringLiteral("Resposta inválida do servidor: ")));
    EXPECT_EQ(text, QStringLiteral("antes"));
    EXPECT_EQ(date, 46000.0);

    // Too few values back.
    auto shortReply = std::make_shared<FakeTransport>([](const cht::wire::RpcRequest& r) {
        return cht::wire::encodeResult(r.id, {RpcArg::ofText("só um")}, {});
    });
    c.SetTransport(shortReply);
    EXPECT_TRUE(serverErrorOf([&] {
                    c.AppServer().Call(QStringLiteral("GetCHT"),
                                       {TRemoteArg::ByRef(text), TRemoteArg::ByRef(date)});
                }).startsWith(QStringLiteral("Resposta inválida do servidor: ")));
    EXPECT_EQ(text, QStringLiteral("antes"));
}

namespace {

/// An application server in miniature: /health, and /rpc answering every call with its
/// parameters changed (texts get " (servidor)", numbers +1) and a one-row packet naming the
/// method. "Recusa" is refused with a failure report.
class EchoServer {
public:
    /// keepAliveCalls: how many requests a connection serves before the server closes it.
    explicit EchoServer(std::size_t keepAliveCalls = 100,
                        std::chrono::milliseconds idleLimit = std::chrono::seconds(1))
    {
        m_server.set_keep_alive_max_count(keepAliveCalls);
        m_server.set_keep_alive_timeout(
            std::chrono::duration_cast<std::chrono::seconds>(idleLimit).count());
        m_server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
            std::lock_guard lock(m_mutex);
            if (req.path == "/rpc")
                m_ports.push_back(req.remote_port);
            return httplib::Server::HandlerResponse::Unhandled;
        });
        m_server.Get(
            "/health", [](const httplib::Request&,
                          httplib::Response& res) { res.set_content("ok", "text/plain"); });
        m_server.Post("/rpc", [](const httplib::Request& req, httplib::Response& res) {
            const cht::wire::RpcRequest r = cht::wire::decodeRequest(req.body);
            if (r.method.ends_with(".Recusa")) {
                res.set_content(cht::wire::encodeFailure(
                                    r.id, "A CHT 0000000001 foi alterada por outro usuário."),
                                "application/json");
                return;
            }
            std::vector<RpcArg> refs = r.params;
            for (RpcArg& a : refs) {
                if (a.kind == RpcArg::Kind::Text)
                    a.text += " (servidor)";
                else if (a.kind == RpcArg::Kind::Number)
                    a.number += 1;
            }
            cht::wire::ColumnTable table(
                {cht::wire::FieldDef{"METODO", cht::wire::FieldType::Text, 60}});
            table.setText(table.appendRow(), 0, r.method);
            res.set_content(cht::wire::encodeResult(r.id, refs, cht::wire::encodeDataPacket(table)),
                            "application/json");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~EchoServer()
    {
        m_server.stop();
        m_thread.join();
    }
    int port() const { return m_port; }
    /// The client's port of each call, in order: one connection, one port.
    std::vector<int> clientPorts()
    {
        std::lock_guard lock(m_mutex);
        return m_ports;
    }

private:
    std::mutex m_mutex;
    std::vector<int> m_ports;
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
};

} // namespace

TEST(NetConnection, ByReferenceValuesComeBackFromARealServerAndCallsAreRecorded)
{
    EchoServer server;
    auto recorder = std::make_shared<RecordingTransport>(); // around the HTTP transport
    TNetConnection c = connectionTo(QStringLiteral("127.0.0.1"), server.port());
    c.SetTransport(recorder);
    c.Open();
    ASSERT_TRUE(c.Connected());

    QString clientes = QStringLiteral("'0001','Ação'");
    const QString operador = QStringLiteral("DEMO");
    double dataIni = 46000.25;
    TServerResult result = c.AppServer().Call(
        QStringLiteral("GetCHT"),
        {TRemoteArg::ByRef(clientes), TRemoteArg::ByVal(operador), TRemoteArg::ByRef(dataIni)});
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(clientes, QStringLiteral("'0001','Ação' (servidor)"));
    EXPECT_EQ(operador, QStringLiteral("DEMO"));
    EXPECT_DOUBLE_EQ(dataIni, 46001.25);

    TDataPacket packet = CheckResultServ(std::move(result), true, 0);
    ASSERT_EQ(packet.rowCount(), 1u);
    EXPECT_EQ(packet.text(0, 0), "COT09800.rdmCancelaCHT.GetCHT");

    // A refusal of the server's rules comes back in the result, refs untouched, and
    // CheckResultServ raises the server's own message.
    QString untouched = QStringLiteral("x");
    TServerResult refused =
        c.AppServer().Call(QStringLiteral("Recusa"), {TRemoteArg::ByRef(untouched)});
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(untouched, QStringLiteral("x"));
    EXPECT_EQ(serverErrorOf([&] { CheckResultServ(refused, true, 0); }),
              QStringLiteral("A CHT 0000000001 foi alterada por outro usuário."));

    c.AppServer().Call(QStringLiteral("GetData"), {});

    // Recorded in order, with the arguments as they were sent.
    const std::vector<std::string> expectedMethods{"GetCHT", "Recusa", "GetData"};
    EXPECT_EQ(recorder->methods(), expectedMethods);
    const std::vector<RecordedCall> calls = recorder->calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].method, "COT09800.rdmCancelaCHT.GetCHT");
    ASSERT_EQ(calls[0].params.size(), 3u);
    EXPECT_EQ(calls[0].params[0].kind, RpcArg::Kind::Text);
    EXPECT_EQ(calls[0].params[0].text, "'0001','Ação'");
    EXPECT_EQ(calls[0].params[1].text, "DEMO");
    EXPECT_EQ(calls[0].params[2].kind, RpcArg::Kind::Number);
    EXPECT_DOUBLE_EQ(calls[0].params[2].number, 46000.25);
    EXPECT_TRUE(calls[2].params.empty());
    recorder->clear();
    EXPECT_TRUE(recorder->calls().empty());
}

TEST(NetConnection, CallsShareAConnectionAndAClosedOneIsReplaced)
{
    auto callThrice = [](int port) {
        TNetConnection c = connectionTo(QStringLiteral("127.0.0.1"), port);
        c.Open();
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(c.AppServer().Call(QStringLiteral("GetData"), {}).ok) << i;
    };
    {
        EchoServer server;
        callThrice(server.port());
        const std::vector<int> ports = server.clientPorts();
        ASSERT_EQ(ports.size(), 3u);
        EXPECT_EQ(ports[0], ports[1]);
        EXPECT_EQ(ports[1], ports[2]);
    }
    {
        // A server that closes after each answer: every call opens its own, and none fails.
        EchoServer server(1);
        callThrice(server.port());
        const std::vector<int> ports = server.clientPorts();
        ASSERT_EQ(ports.size(), 3u);
        EXPECT_NE(ports[0], ports[1]);
        EXPECT_NE(ports[1], ports[2]);
    }
    {
        // A connection the server closed while it was idle is not used again.
        EchoServer server;
        TNetConnection c = connectionTo(QStringLiteral("127.0.0.1"), server.port());
        c.Open();
        EXPECT_TRUE(c.AppServer().Call(QStringLiteral("GetData"), {}).ok);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        EXPECT_TRUE(c.AppServer().Call(QStringLiteral("GetData"), {}).ok);
        const std::vector<int> ports = server.clientPorts();
        ASSERT_EQ(ports.size(), 2u);
        EXPECT_NE(ports[0], ports[1]);
    }
}

namespace {

/// Serves connections one after another: reads each request whole, and answers with the bytes
/// `answer` makes of it, a few at a time; the connection is closed after each answer (which
/// should say so).
class ScriptedServer {
public:
    explicit ScriptedServer(std::function<std::string(const cht::wire::RpcRequest&)> answer)
        : m_answer(std::move(answer)), m_listening(true)
    {
        m_thread = std::thread([this] {
            pollfd p{m_listening.fd(), POLLIN, 0};
            while (!m_stop) {
                if (::poll(&p, 1, 20) <= 0)
                    continue;
                const int fd = ::accept(m_listening.fd(), nullptr, nullptr);
                serve(fd);
                ::close(fd);
            }
        });
    }
    ~ScriptedServer()
    {
        m_stop = true;
        m_thread.join();
    }
    int port() const { return m_listening.port(); }

private:
    void serve(int fd)
    {
        std::string in;
        char buf[4096];
        std::size_t headEnd = std::string::npos;
        std::size_t length = 0;
        while (headEnd == std::string::npos || in.size() < headEnd + length) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                return;
            in.append(buf, static_cast<std::size_t>(n));
            if (headEnd == std::string::npos && (headEnd = in.find("\r\n\r\n")) != in.npos) {
                headEnd += 4;
                const std::size_t at = in.find("Content-Length: ");
                length = at < headEnd ? std::stoul(in.substr(at + 16)) : 0;
            }
        }
        if (in.starts_with("GET /health")) {
            send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
            return;
        }
        send(fd, m_answer(cht::wire::decodeRequest(in.substr(headEnd))));
    }
    // In pieces of 7 bytes: every boundary of the answer falls inside some read.
    static void send(int fd, const std::string& bytes)
    {
        for (std::size_t at = 0; at < bytes.size(); at += 7) {
            ::send(fd, bytes.data() + at, std::min<std::size_t>(7, bytes.size() - at),
                   MSG_NOSIGNAL);
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    }

    std::function<std::string(const cht::wire::RpcRequest&)> m_answer;
    SilentSocket m_listening;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

std::string hex(std::size_t n)
{
    char text[32];
    std::snprintf(text, sizeof text, "%zx", n);
    return text;
}

} // namespace

// However the server frames its answer, the call gets it whole; an answer cut short or not of
// HTTP is a clear error, never a half-read reply.
TEST(NetConnection, AnswersAreReadWholeInEveryFramingAndBrokenOnesAreClear)
{
    ScriptedServer server([](const cht::wire::RpcRequest& r) -> std::string {
        cht::wire::ColumnTable table(
            {cht::wire::FieldDef{"METODO", cht::wire::FieldType::Text, 60}});
        table.setText(table.appendRow(), 0, r.method);
        const std::string json =
            cht::wire::encodeResult(r.id, {}, cht::wire::encodeDataPacket(table));
        const std::string& m = r.method;
        if (m.ends_with(".Blocos")) {
            const std::size_t half = json.size() / 2;
            return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n" +
                   hex(half) + ";ext=1\r\n" + json.substr(0, half) + "\r\n" +
                   hex(json.size() - half) + "\r\n" + json.substr(half) +
                   "\r\n0\r\nX-Trailer: 1\r\n\r\n";
        }
        if (m.ends_with(".AteFechar"))
            return "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + json;
        if (m.ends_with(".Continue"))
            return "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nconnection: Close\r\n"
                   "content-length: " +
                   std::to_string(json.size()) + "\r\n\r\n" + json;
        if (m.ends_with(".Cortada"))
            return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(json.size() + 100) +
                   "\r\n\r\n" + json;
        if (m.ends_with(".NaoHttp"))
            return "SSH-2.0-OpenSSH_9.2\r\n\r\n";
        if (m.ends_with(".Gateway"))
            return "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 13\r\n\r\n<html></html>";
        return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(json.size()) + "\r\n\r\n" +
               json;
    });
    TNetConnection c = connectionTo(QStringLiteral("127.0.0.1"), server.port());
    c.TimeoutMs = 5000;
    c.Open();
    for (const char* method : {"Blocos", "AteFechar", "Continue", "Inteira"}) {
        const TServerResult result = c.AppServer().Call(QString::fromLatin1(method), {});
        ASSERT_TRUE(result.ok) << method;
        ASSERT_TRUE(result.data) << method;
        EXPECT_EQ(result.data->text(0, 0), "COT09800.rdmCancelaCHT." + std::string(method));
    }
    auto failure = [&](const char* method) {
        return serverErrorOf([&] { c.AppServer().Call(QString::fromLatin1(method), {}); });
    };
    EXPECT_EQ(failure("Cortada"),
              QStringLiteral("A conexão com o servidor de aplicação em 127.0.0.1:%1 foi "
                             "interrompida.")
                  .arg(server.port()));
    EXPECT_EQ(failure("NaoHttp"),
              QStringLiteral("Resposta inválida do servidor: a primeira linha da resposta não é "
                             "de HTTP/1.x."));
    EXPECT_EQ(failure("Gateway"), QStringLiteral("Resposta inválida do servidor: HTTP 502."));
}

TEST(NetConnection, PacketsAndDeltasTravelAsArguments)
{
    std::vector<RpcArg> seen;
    auto fake = std::make_shared<FakeTransport>([&](const cht::wire::RpcRequest& r) {
        seen = r.params;
        return okEmpty(r);
    });
    TNetConnection c;
    c.ServerName = kServerName;
    c.Host = QStringLiteral("h");
    c.Port = 1;
    c.SetTransport(fake);

    cht::wire::ColumnTable keys(
        {cht::wire::FieldDef{"NRPROPOSFAS", cht::wire::FieldType::Text, 10}});
    keys.setText(keys.appendRow(), 0, "0000000042");
    c.AppServer().Call(QStringLiteral("ConfirmaCHT"),
                       {TRemoteArg::Packet(cht::wire::encodeDataPacket(keys))});
    ASSERT_EQ(seen.size(), 1u);
    ASSERT_EQ(seen[0].kind, RpcArg::Kind::Data);
    EXPECT_EQ(seen[0].data.text(0, 0), "0000000042");

    cht::wire::DeltaPacket delta({{"IDCHTASSINADA", cht::wire::FieldType::Text, 1}});
    delta.add(cht::wire::ChangeOp::Update, {std::string("N")}, {std::string("S")});
    c.AppServer().Call(QStringLiteral("SetCHT"), {TRemoteArg::Delta(delta)});
    ASSERT_EQ(seen.size(), 1u);
    ASSERT_EQ(seen[0].kind, RpcArg::Kind::Delta);
    ASSERT_EQ(seen[0].delta.size(), 1u);
    EXPECT_EQ(seen[0].delta.before().text(0, 0), "N");
    EXPECT_EQ(seen[0].delta.after().text(0, 0), "S");

    EXPECT_TRUE(serverErrorOf([] {
                    TRemoteArg::Packet("{\"fields\":");
                }).startsWith("Pacote de dados inválido"));
}

TEST(NetConnection, LargeRepliesComeBackWhole)
{
    // Big enough to be decoded off the UI thread.
    auto fake = std::make_shared<FakeTransport>([](const cht::wire::RpcRequest& r) {
        cht::wire::ColumnTable table(
            {cht::wire::FieldDef{"NRPROPOSFAS", cht::wire::FieldType::Text, 10},
             cht::wire::FieldDef{"DTGERACAO", cht::wire::FieldType::DateTime, 0}});
        for (int i = 0; i < 40000; ++i) {
            const std::size_t row = table.appendRow();
            table.setText(row, 0, std::to_string(1000000000 + i));
            table.setNumber(row, 1, 46000.0 + i);
        }
        std::vector<RpcArg> refs{RpcArg::ofText("devolvido")};
        const std::string reply =
            cht::wire::encodeResult(r.id, refs, cht::wire::encodeDataPacket(table));
        EXPECT_GT(reply.size(), 256u * 1024u);
        return reply;
    });
    TNetConnection c;
    c.ServerName = kServerName;
    c.Host = QStringLiteral("h");
    c.Port = 1;
    c.SetTransport(fake);
    QString ref = QStringLiteral("enviado");
    TDataPacket packet =
        CheckResultServ(c.AppServer().Call(QStringLiteral("GetCHT"), {TRemoteArg::ByRef(ref)}));
    EXPECT_EQ(ref, QStringLiteral("devolvido"));
    ASSERT_EQ(packet.rowCount(), 40000u);
    EXPECT_EQ(packet.text(39999, 0), "1000039999");
    EXPECT_DOUBLE_EQ(packet.number(39999, 1), 46000.0 + 39999);
}

TEST(CheckResultServ, UnwrapsOrRaises)
{
    TServerResult empty;
    empty.ok = true;
    TDataPacket none = CheckResultServ(empty, true, 0);
    EXPECT_EQ(none.columnCount(), 0u);
    EXPECT_EQ(none.rowCount(), 0u);

    TServerResult blank;
    blank.failure = QStringLiteral("  ");
    EXPECT_EQ(serverErrorOf([&] { CheckResultServ(blank, true, 0); }),
              QStringLiteral("O servidor de aplicação recusou a operação."));

    // Told not to raise: the failure is shown and an empty packet comes back.
    ErrorCapture capture;
    TServerResult failed;
    failed.failure = QStringLiteral("Nenhuma CHT selecionada.");
    EXPECT_EQ(CheckResultServ(failed, false, 0).rowCount(), 0u);
    EXPECT_EQ(capture.shown, QStringList{QStringLiteral("Nenhuma CHT selecionada.")});
}

TEST(FaultyTransport, FailsExactlyTheChosenCalls)
{
    int reached = 0;
    auto inner = std::make_shared<FakeTransport>([&](const cht::wire::RpcRequest& r) {
        ++reached;
        return okEmpty(r);
    });
    auto faulty = std::make_shared<FaultyTransport>(inner);
    faulty->failCall(2, QStringLiteral("Falha simulada de rede."));
    faulty->answerFailure(3, QStringLiteral("CHT já faturada."));
    faulty->answerRaw(4, "{}");
    TNetConnection c;
    c.ServerName = kServerName;
    c.Host = QStringLiteral("h");
    c.Port = 1;
    c.SetTransport(faulty);

    EXPECT_TRUE(c.AppServer().Call(QStringLiteral("GetData"), {}).ok);
    EXPECT_EQ(serverErrorOf([&] { c.AppServer().Call(QStringLiteral("GetData"), {}); }),
              QStringLiteral("Falha simulada de rede."));
    TServerResult third = c.AppServer().Call(QStringLiteral("SetCHT"), {});
    EXPECT_EQ(serverErrorOf([&] { CheckResultServ(third, true, 0); }),
              QStringLiteral("CHT já faturada."));
    EXPECT_TRUE(serverErrorOf([&] {
                    c.AppServer().Call(QStringLiteral("GetData"), {});
                }).startsWith(QStringLiteral("Resposta inválida do servidor: ")));
    EXPECT_TRUE(c.AppServer().Call(QStringLiteral("GetData"), {}).ok);
    EXPECT_EQ(faulty->callCount(), 5);
    EXPECT_EQ(reached, 2);

    faulty->failConnect(QStringLiteral("Servidor em manutenção."));
    c.Close();
    EXPECT_EQ(serverErrorOf([&] { c.Open(); }), QStringLiteral("Servidor em manutenção."));
}
