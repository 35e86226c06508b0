#include "HttpTransport.h"

#include "NetMessages.h"
#include "ServerAddress.h"
#include "ServerSession.h"
#include "UiWait.h"
#include "platform/wire/JsonRpc.h"

#include <httplib.h>
#include <openssl/x509_vfy.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

namespace cht::framework {

namespace {

using Clock = std::chrono::steady_clock;

// Room made up front for a reply is bounded: a wrong Content-Length only costs growth.
constexpr unsigned long long kMaxReserveBytes = 1ull << 30;

// The memory of one reply at most this big is kept for the next.
constexpr std::size_t kMaxSpareBytes = 128u << 20;
constexpr std::size_t kSpareFromBytes = 1u << 20;

// A health check is a quick question: it never waits as long as a call may.
constexpr int kHealthTimeoutCapMs = 15000;

// An idle connection is used again only well inside the server's idle limit (10 s by default),
// so that the server does not close it as a request goes out; a few are kept per transport.
constexpr auto kIdleReuse = std::chrono::seconds(4);
constexpr std::size_t kMaxIdle = 4;

ServerAddress addressOf(const QString& host, int port)
{
    QString error;
    std::optional<ServerAddress> address = ServerAddress::parse(host, port, &error);
    if (!address)
        net::raise(error);
    return *address;
}

/// A client for the address: over HTTPS, the server's certificate must chain to a trusted
/// authority (the system's, or the file the host was given) and name the host, or nothing is
/// sent.
std::string connectionKey(const ServerAddress& address)
{
    return (address.https ? "https://" : "http://") + address.host.toStdString() + ":" +
           std::to_string(address.port) + " " + ServerSession::TrustedCertificates().toStdString();
}

void setTimeouts(httplib::Client& client, int timeoutMs)
{
    const auto timeout = std::chrono::milliseconds(std::max(timeoutMs, 1));
    client.set_connection_timeout(timeout);
    client.set_read_timeout(timeout);
    client.set_write_timeout(timeout);
}

std::unique_ptr<httplib::Client> clientFor(const ServerAddress& address, int timeoutMs)
{
    std::unique_ptr<httplib::Client> client;
    if (address.https) {
        const QString name = address.host.contains(QLatin1Char(':'))
                                 ? QStringLiteral("[%1]").arg(address.host)
                                 : address.host;
        client = std::make_unique<httplib::Client>("https://" + name.toStdString() + ":" +
                                                   std::to_string(address.port));
        if (!client->is_valid())
            net::raise(QStringLiteral("Não foi possível preparar a conexão segura (HTTPS) com o "
                                      "servidor de aplicação em %1.")
                           .arg(address.display()));
        client->enable_server_certificate_verification(true);
        const QString ca = ServerSession::TrustedCertificates();
        if (!ca.isEmpty())
            client->set_ca_cert_path(ca.toStdString());
    } else {
        client = std::make_unique<httplib::Client>(address.host.toStdString(), address.port);
    }
    setTimeouts(*client, timeoutMs);
    client->set_keep_alive(true);
    // A request goes out as head and body: over a connection kept open, Nagle would hold the
    // body until the server's delayed acknowledgement of the head, 40 ms later.
    client->set_tcp_nodelay(true);
    return client;
}

// Why OpenSSL did not trust the server's certificate, in the operator's words.
QString distrust(long verifyResult, const ServerAddress& address)
{
    switch (verifyResult) {
    case X509_V_OK:
        // The chain was good: it is the name that did not match.
        return QStringLiteral("ele não foi emitido para o nome \"%1\"").arg(address.host);
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("ele expirou");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("ele ainda não é válido (confira o relógio deste computador)");
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return ServerSession::TrustedCertificates().isEmpty()
                   ? QStringLiteral("ele não foi emitido por uma autoridade certificadora "
                                    "confiável deste computador (informe a autoridade do "
                                    "servidor com --ca)")
                   : QStringLiteral("ele não foi emitido pela autoridade certificadora de %1")
                         .arg(ServerSession::TrustedCertificates());
    default:
        return QStringLiteral("a verificação falhou (%1)")
            .arg(QString::fromUtf8(X509_verify_cert_error_string(verifyResult)));
    }
}

[[noreturn]] void raiseFor(const httplib::Client& client, httplib::Error error,
                           Clock::time_point start, int timeoutMs, const ServerAddress& address)
{
    const QString host = address.server();
    const int port = address.port;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    switch (error) {
    case httplib::Error::SSLServerVerification:
        net::raise(
            QStringLiteral("O certificado do servidor de aplicação em %1 não é confiável: "
                           "%2. Nada foi enviado.")
                .arg(address.display(), distrust(client.get_openssl_verify_result(), address)));
    case httplib::Error::SSLConnection:
        net::raise(QStringLiteral("Não foi possível estabelecer uma conexão segura (HTTPS) com o "
                                  "servidor de aplicação em %1. Confira se ele atende por HTTPS.")
                       .arg(address.display()));
    case httplib::Error::SSLLoadingCerts:
        net::raise(QStringLiteral("Os certificados das autoridades confiáveis não puderam ser "
                                  "carregados; nada foi enviado ao servidor em %1.")
                       .arg(address.display()));
    case httplib::Error::Connection:
    case httplib::Error::ConnectionTimeout:
    case httplib::Error::BindIPAddress:
        net::raise(net::cannotConnect(host, port));
    case httplib::Error::Read:
        // A read that gives up after the whole timeout is a server that never answered; an
        // earlier one is a connection the server dropped.
        if (elapsed + 50 >= timeoutMs)
            net::raise(net::timedOut(timeoutMs));
        net::raise(net::connectionLost(host, port));
    case httplib::Error::Write:
        net::raise(net::connectionLost(host, port));
    default:
        net::raise(QStringLiteral("Falha na comunicação com o servidor de aplicação em %1:%2.")
                       .arg(host)
                       .arg(port));
    }
}

/// A server that trickles its answer passes every per-read timeout: the whole call gets one
/// deadline, past which the connection is shut down from here.
class CallDeadline {
public:
    CallDeadline(httplib::Client& client, int timeoutMs)
        : m_watch([this, &client, timeoutMs] {
              std::unique_lock lock(m_mutex);
              if (!m_wake.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 1)),
                                   [this] { return m_done; })) {
                  m_passed = true;
                  client.stop();
              }
          })
    {}
    ~CallDeadline() { finish(); }
    CallDeadline(const CallDeadline&) = delete;
    CallDeadline& operator=(const CallDeadline&) = delete;

    /// Ends the watch; true when the deadline had passed.
    bool finish()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_one();
        if (m_watch.joinable())
            m_watch.join();
        return m_passed;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::atomic<bool> m_passed{false};
    std::thread m_watch;
};

} // namespace

HttpTransport::HttpTransport() = default;
HttpTransport::~HttpTransport() = default;

std::unique_ptr<httplib::Client> HttpTransport::take(const std::string& key)
{
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(m_idleMutex);
    // The stale are dropped on the way: the server has closed them or soon will.
    std::erase_if(m_idle, [&](const Idle& i) { return now - i.since > kIdleReuse; });
    for (auto it = m_idle.rbegin(); it != m_idle.rend(); ++it) {
        if (it->key == key) {
            std::unique_ptr<httplib::Client> client = std::move(it->client);
            m_idle.erase(std::next(it).base());
            return client;
        }
    }
    return nullptr;
}

void HttpTransport::giveBack(std::string key, std::unique_ptr<httplib::Client> client)
{
    std::lock_guard lock(m_idleMutex);
    if (m_idle.size() >= kMaxIdle)
        m_idle.erase(m_idle.begin());
    m_idle.push_back({std::move(key), std::move(client), std::chrono::steady_clock::now()});
}

std::string HttpTransport::Post(const QString& host, int port, const std::string& body,
                                int timeoutMs)
{
    const std::string token = ServerSession::Token();
    const ServerAddress address = addressOf(host, port);
    const std::string key = connectionKey(address);
    std::string reply;
    runWhileUiWaits([&] {
        std::unique_ptr<httplib::Client> connection = take(key);
        if (connection)
            setTimeouts(*connection, timeoutMs);
        else
            connection = clientFor(address, timeoutMs);
        httplib::Client& client = *connection;
        httplib::Request req;
        req.method = "POST";
        req.path = "/rpc";
        req.set_header("Content-Type", "application/json");
        if (!token.empty())
            req.set_header("Authorization", "Bearer " + token);
        req.body = body;
        // A list reply runs to tens of megabytes: room for all of it at once, instead of growing
        // the text a few kilobytes at a time, and for the padding that lets it be decoded where
        // it lies.
        req.response_handler = [&](const httplib::Response& r) {
            const std::string length = r.get_header_value("Content-Length");
            char* end = nullptr;
            const unsigned long long n = std::strtoull(length.c_str(), &end, 10);
            if (length.empty() || *end != '\0' || n > kMaxReserveBytes)
                return true;
            const std::size_t room = static_cast<std::size_t>(n) + wire::kReadPadding;
            // Only a long reply takes the kept memory: a short one in between would drop it.
            if (room >= kSpareFromBytes && reply.empty()) {
                std::lock_guard lock(m_spareMutex);
                reply.swap(m_spare);
                reply.clear();
            }
            reply.reserve(room);
            return true;
        };
        req.content_receiver = [&](const char* data, std::size_t n, std::uint64_t, std::uint64_t) {
            reply.append(data, n);
            return true;
        };
        const Clock::time_point start = Clock::now();
        CallDeadline deadline(client, timeoutMs);
        httplib::Result res = client.send(req);
        // An answer that came whole stands, even if the deadline passed as it arrived.
        const bool late = deadline.finish();
        if (!res && late)
            net::raise(net::timedOut(timeoutMs));
        if (!res)
            raiseFor(client, res.error(), start, timeoutMs, address);
        // Protocol errors may come with a non-200 status; their JSON body says what went wrong.
        const bool jsonBody = !reply.empty() && reply.front() == '{';
        if (res->status != 200 && !jsonBody)
            net::raise(net::invalidReply(QStringLiteral("HTTP %1.").arg(res->status)));
        // Only a connection whose answer came whole and that the server keeps open serves again.
        if (res->status == 200 && res->get_header_value("Connection") != "close")
            giveBack(key, std::move(connection));
    });
    return reply;
}

void HttpTransport::Recycle(std::string reply)
{
    if (reply.capacity() > kMaxSpareBytes)
        return;
    std::lock_guard lock(m_spareMutex);
    if (reply.capacity() > m_spare.capacity())
        m_spare.swap(reply);
}

void HttpTransport::CheckHealth(const QString& host, int port, int timeoutMs)
{
    const ServerAddress address = addressOf(host, port);
    const int timeout = std::min(timeoutMs, kHealthTimeoutCapMs);
    runWhileUiWaits([&] {
        const auto connection = clientFor(address, timeout);
        httplib::Client& client = *connection;
        const Clock::time_point start = Clock::now();
        CallDeadline deadline(client, timeout);
        httplib::Result res = client.Get("/health");
        // An answer that came whole stands, even if the deadline passed as it arrived.
        const bool late = deadline.finish();
        if (!res && late)
            net::raise(net::timedOut(timeout));
        if (!res)
            raiseFor(client, res.error(), start, timeout, address);
        if (res->status != 200)
            net::raise(
                QStringLiteral("O servidor de aplicação em %1 não está disponível (HTTP %2).")
                    .arg(address.display())
                    .arg(res->status));
    });
}

} // namespace cht::framework
