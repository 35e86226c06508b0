#include "HttpTransport.h"

#include "NetMessages.h"
#include "ServerSession.h"
#include "UiWait.h"
#include "platform/wire/JsonRpc.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace cht::framework {

namespace {

using Clock = std::chrono::steady_clock;

// Room made up front for a reply is bounded: a wrong Content-Length only costs growth.
constexpr unsigned long long kMaxReserveBytes = 1ull << 30;

// A health check is a quick question: it never waits as long as a call may.
constexpr int kHealthTimeoutCapMs = 15000;

void configure(httplib::Client& client, int timeoutMs)
{
    const auto timeout = std::chrono::milliseconds(std::max(timeoutMs, 1));
    client.set_connection_timeout(timeout);
    client.set_read_timeout(timeout);
    client.set_write_timeout(timeout);
    client.set_keep_alive(false);
}

[[noreturn]] void raiseFor(httplib::Error error, Clock::time_point start, int timeoutMs,
                           const QString& host, int port)
{
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    switch (error) {
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

std::string HttpTransport::Post(const QString& host, int port, const std::string& body,
                                int timeoutMs)
{
    const std::string hostUtf8 = host.toStdString();
    const std::string token = ServerSession::Token();
    std::string reply;
    runWhileUiWaits([&] {
        httplib::Client client(hostUtf8, port);
        configure(client, timeoutMs);
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
            if (!length.empty() && *end == '\0' && n <= kMaxReserveBytes)
                reply.reserve(static_cast<std::size_t>(n) + wire::kReadPadding);
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
            raiseFor(res.error(), start, timeoutMs, host, port);
        // Protocol errors may come with a non-200 status; their JSON body says what went wrong.
        const bool jsonBody = !reply.empty() && reply.front() == '{';
        if (res->status != 200 && !jsonBody)
            net::raise(net::invalidReply(QStringLiteral("HTTP %1.").arg(res->status)));
    });
    return reply;
}

void HttpTransport::CheckHealth(const QString& host, int port, int timeoutMs)
{
    const std::string hostUtf8 = host.toStdString();
    const int timeout = std::min(timeoutMs, kHealthTimeoutCapMs);
    runWhileUiWaits([&] {
        httplib::Client client(hostUtf8, port);
        configure(client, timeout);
        const Clock::time_point start = Clock::now();
        CallDeadline deadline(client, timeout);
        httplib::Result res = client.Get("/health");
        // An answer that came whole stands, even if the deadline passed as it arrived.
        const bool late = deadline.finish();
        if (!res && late)
            net::raise(net::timedOut(timeout));
        if (!res)
            raiseFor(res.error(), start, timeout, host, port);
        if (res->status != 200)
            net::raise(
                QStringLiteral("O servidor de aplicação em %1:%2 não está disponível (HTTP %3).")
                    .arg(host)
                    .arg(port)
                    .arg(res->status));
    });
}

} // namespace cht::framework
