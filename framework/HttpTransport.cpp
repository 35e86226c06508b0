#include "HttpTransport.h"

#include "HttpConnection.h"
#include "NetMessages.h"
#include "ServerAddress.h"
#include "ServerSession.h"
#include "UiWait.h"
#include "platform/wire/JsonRpc.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>

namespace cht::framework {

namespace {

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

/// Connections are shared only between calls to the same server trusting the same authorities.
std::string connectionKey(const ServerAddress& address, const std::string& trustedCa)
{
    return (address.https ? "https://" : "http://") + address.host.toStdString() + ":" +
           std::to_string(address.port) + " " + trustedCa;
}

} // namespace

HttpTransport::HttpTransport() = default;
HttpTransport::~HttpTransport() = default;

std::unique_ptr<HttpConnection> HttpTransport::take(const std::string& key)
{
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(m_idleMutex);
    // The stale are dropped on the way: the server has closed them or soon will.
    std::erase_if(m_idle, [&](const Idle& i) { return now - i.since > kIdleReuse; });
    for (auto it = m_idle.rbegin(); it != m_idle.rend(); ++it) {
        if (it->key == key) {
            std::unique_ptr<HttpConnection> connection = std::move(it->connection);
            m_idle.erase(std::next(it).base());
            // One the server closed while it was idle would fail the call it is given.
            if (connection->idleAndOpen())
                return connection;
            return nullptr;
        }
    }
    return nullptr;
}

void HttpTransport::giveBack(std::string key, std::unique_ptr<HttpConnection> connection)
{
    std::lock_guard lock(m_idleMutex);
    if (m_idle.size() >= kMaxIdle)
        m_idle.erase(m_idle.begin());
    m_idle.push_back({std::move(key), std::move(connection), std::chrono::steady_clock::now()});
}

std::string HttpTransport::Post(const QString& host, int port, const std::string& body,
                                int timeoutMs)
{
    const std::string token = ServerSession::Token();
    const std::string trustedCa = ServerSession::TrustedCertificates().toStdString();
    const ServerAddress address = addressOf(host, port);
    const std::string key = connectionKey(address, trustedCa);
    std::string reply;
    runWhileUiWaits([&] {
        const auto deadline = HttpConnection::Deadline::after(timeoutMs);
        std::unique_ptr<HttpConnection> connection = take(key);
        if (!connection)
            connection = std::make_unique<HttpConnection>(address, trustedCa, deadline);
        // A list reply runs to tens of megabytes: room for all of it at once, instead of growing
        // the text as it comes, and for the padding that lets it be decoded where it lies.
        auto sized = [&](std::uint64_t length) {
            if (length > kMaxReserveBytes)
                return;
            const std::size_t room = static_cast<std::size_t>(length) + wire::kReadPadding;
            // Only a long reply takes the kept memory: a short one in between would drop it.
            if (room >= kSpareFromBytes && reply.empty()) {
                std::lock_guard lock(m_spareMutex);
                reply.swap(m_spare);
                reply.clear();
            }
            reply.reserve(room);
        };
        const HttpConnection::Answer answer = connection->exchange(
            {"POST", "/rpc", "application/json", token, body}, reply, sized, deadline);
        // Protocol errors may come with a non-200 status; their JSON body says what went wrong.
        const bool jsonBody = !reply.empty() && reply.front() == '{';
        if (answer.status != 200 && !jsonBody)
            net::raise(net::invalidReply(QStringLiteral("HTTP %1.").arg(answer.status)));
        if (answer.status == 200 && answer.keepsOpen)
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
    const std::string trustedCa = ServerSession::TrustedCertificates().toStdString();
    const ServerAddress address = addressOf(host, port);
    runWhileUiWaits([&] {
        const auto deadline =
            HttpConnection::Deadline::after(std::min(timeoutMs, kHealthTimeoutCapMs));
        HttpConnection connection(address, trustedCa, deadline);
        std::string body;
        const HttpConnection::Answer answer =
            connection.exchange({"GET", "/health", {}, {}, {}}, body, nullptr, deadline);
        if (answer.status != 200)
            net::raise(
                QStringLiteral("O servidor de aplicação em %1 não está disponível (HTTP %2).")
                    .arg(address.display())
                    .arg(answer.status));
    });
}

} // namespace cht::framework
